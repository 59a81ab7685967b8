
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/src/gl.cpp" "CMakeFiles/card_scene.dir/src/gl.cpp.obj" "gcc" "CMakeFiles/card_scene.dir/src/gl.cpp.obj.d"
  "/work/main/src/image.cpp" "CMakeFiles/card_scene.dir/src/image.cpp.obj" "gcc" "CMakeFiles/card_scene.dir/src/image.cpp.obj.d"
  "/work/main/src/util.cpp" "CMakeFiles/card_scene.dir/src/util.cpp.obj" "gcc" "CMakeFiles/card_scene.dir/src/util.cpp.obj.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
