# The table of layers held by the compiler: a library sees the headers of its
# own folder and of the libraries it links, nothing else of src/, and only the
# Qt modules it links. scripts/check-layers.sh reports the same from the table
# in HACKING.md.

# Publishes src/<folder> to the users of <target> as "<folder>/X.h", through a
# folder of the build tree that holds only that one (src/ as a whole would let
# every library reach every header).
function(kestro_layer target folder)
  string(REPLACE "/" "_" root ${folder})
  set(root ${CMAKE_BINARY_DIR}/include/${root})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${root}/${folder} SYMBOLIC)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_include_directories(${target} PRIVATE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()

# Qt's modules all share one include root, so linking Qt Core alone would still
# let <QtWidgets/QWidget> compile. Each module's root is replaced by a folder
# that holds only that module.
function(kestro_qt_own_headers)
  foreach(module ${ARGN})
    if(NOT TARGET Qt6::${module})
      continue()
    endif()
    get_target_property(dirs Qt6::${module} INTERFACE_INCLUDE_DIRECTORIES)
    set(own ${CMAKE_BINARY_DIR}/include/qt/${module})
    if(own IN_LIST dirs)
      continue()
    endif()
    list(GET dirs 0 module_dir)
    get_filename_component(shared_root ${module_dir} DIRECTORY)
    if(NOT shared_root IN_LIST dirs)
      message(WARNING "Qt6::${module}: no shared include root beside ${module_dir}; ctest -L layers will fail")
      continue()
    endif()
    file(MAKE_DIRECTORY ${own})
    file(CREATE_LINK ${module_dir} ${own}/Qt${module} SYMBOLIC)
    list(FIND dirs ${shared_root} at)
    list(REMOVE_AT dirs ${at})
    list(INSERT dirs ${at} ${own})
    set_property(TARGET Qt6::${module} PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${dirs})
  endforeach()
  # Every module links these, and they carry the shared root as well.
  foreach(common Qt6::Platform Qt6::GlobalConfig)
    if(TARGET ${common} AND shared_root)
      get_target_property(dirs ${common} INTERFACE_INCLUDE_DIRECTORIES)
      list(REMOVE_ITEM dirs ${shared_root})
      set_property(TARGET ${common} PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${dirs})
    endif()
  endforeach()
endfunction()
