# pugixml for the Windows build, compiled from Debian's source package
# (scripts/windows-deps.sh puts it in build/deps/pugixml).
if(NOT TARGET pugixml::pugixml)
  set(_pugixml_src ${CMAKE_SOURCE_DIR}/build/deps/pugixml/src)
  if(NOT EXISTS ${_pugixml_src}/pugixml.cpp)
    message(FATAL_ERROR "pugixml's source is missing: run scripts/windows-deps.sh")
  endif()
  add_library(tw_pugixml STATIC ${_pugixml_src}/pugixml.cpp)
  target_include_directories(tw_pugixml SYSTEM PUBLIC ${_pugixml_src})
  add_library(pugixml::pugixml ALIAS tw_pugixml)
endif()
set(pugixml_FOUND TRUE)
