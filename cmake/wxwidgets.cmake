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
    if(flag MATCHES "^-D(.*)")
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
if(SONBALANCER_GUI)
  sonbalancer_wx_target(wx::core "core,base")
endif()
