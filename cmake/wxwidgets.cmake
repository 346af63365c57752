# wxWidgets through wx-config: one imported target per library set, so that the batch
# code links wxBase alone and only the window program links the GUI part.
find_program(WX_CONFIG wx-config REQUIRED)

function(sonbalancer_wx_target name libs)
  execute_process(COMMAND ${WX_CONFIG} --cxxflags ${libs} OUTPUT_VARIABLE cxxflags
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND ${WX_CONFIG} --libs ${libs} OUTPUT_VARIABLE linkflags
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(cxxflags UNIX_COMMAND "${cxxflags}")
  separate_arguments(linkflags UNIX_COMMAND "${linkflags}")
  set(defs "")
  set(incs "")
  set(opts "")
  foreach(flag IN LISTS cxxflags)
    if(flag STREQUAL "-DwxUSE_GUI=0")
      # Said per target instead (sonbalancer_wx_base_only): a consumer's interface flag would
      # hide the GUI classes from the window code built on top of the batch library.
      continue()
    elseif(flag MATCHES "^-D(.*)")
      list(APPEND defs "${CMAKE_MATCH_1}")
    elseif(flag MATCHES "^-I(.*)")
      list(APPEND incs "${CMAKE_MATCH_1}")
    else()
      list(APPEND opts "${flag}")
    endif()
  endforeach()
  add_library(${name} INTERFACE IMPORTED GLOBAL)
  target_compile_definitions(${name} INTERFACE ${defs})
  # System includes: the toolkit's own headers are not ours to keep warning-free.
  target_include_directories(${name} SYSTEM INTERFACE ${incs})
  target_compile_options(${name} INTERFACE ${opts})
  target_link_libraries(${name} INTERFACE ${linkflags})
endfunction()

sonbalancer_wx_target(wx::base base)

# Marks a target as built against wxBase alone: the GUI classes are not declared for it.
function(sonbalancer_wx_base_only target)
  target_compile_definitions(${target} PRIVATE wxUSE_GUI=0)
endfunction()
if(SONBALANCER_GUI)
  sonbalancer_wx_target(wx::core "core,base")
endif()
