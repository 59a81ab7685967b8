file(REMOVE_RECURSE
  "CMakeFiles/holiday-card.dir/src/main.cpp.obj"
  "CMakeFiles/holiday-card.dir/src/main.cpp.obj.d"
  "CMakeFiles/holiday-card.dir/src/palette.cpp.obj"
  "CMakeFiles/holiday-card.dir/src/palette.cpp.obj.d"
  "CMakeFiles/holiday-card.dir/src/window_win32.cpp.obj"
  "CMakeFiles/holiday-card.dir/src/window_win32.cpp.obj.d"
  "holiday-card.exe"
  "holiday-card.pdb"
  "libholiday-card.dll.a"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/holiday-card.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
