
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/src/main.cpp" "CMakeFiles/holiday-card.dir/src/main.cpp.obj" "gcc" "CMakeFiles/holiday-card.dir/src/main.cpp.obj.d"
  "/work/main/src/palette.cpp" "CMakeFiles/holiday-card.dir/src/palette.cpp.obj" "gcc" "CMakeFiles/holiday-card.dir/src/palette.cpp.obj.d"
  "/work/main/src/window_win32.cpp" "CMakeFiles/holiday-card.dir/src/window_win32.cpp.obj" "gcc" "CMakeFiles/holiday-card.dir/src/window_win32.cpp.obj.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
