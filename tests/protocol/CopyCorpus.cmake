# Fresh working copies of the seed corpus for the fuzz tests.
foreach(dst ${DST1} ${DST2})
  file(MAKE_DIRECTORY ${dst})
  file(COPY ${SRC}/ DESTINATION ${dst})
endforeach()
