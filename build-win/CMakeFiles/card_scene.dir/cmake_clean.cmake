file(REMOVE_RECURSE
  "CMakeFiles/card_scene.dir/src/gl.cpp.obj"
  "CMakeFiles/card_scene.dir/src/gl.cpp.obj.d"
  "CMakeFiles/card_scene.dir/src/image.cpp.obj"
  "CMakeFiles/card_scene.dir/src/image.cpp.obj.d"
  "CMakeFiles/card_scene.dir/src/util.cpp.obj"
  "CMakeFiles/card_scene.dir/src/util.cpp.obj.d"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/card_scene.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
