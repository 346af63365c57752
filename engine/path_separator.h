// The separator between a folder and a name in the paths that the program builds.
#pragma once

namespace engine {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

}  // namespace engine
