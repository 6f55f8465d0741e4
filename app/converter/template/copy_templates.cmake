# Copies the generated templates of the x86_64 build into this build (cmake -P, with FROM, TO,
# PROGRAM and PAGE set).
foreach(name control.swf control-fws.swf)
  if(NOT EXISTS ${FROM}/${name})
    message(FATAL_ERROR "${FROM}/${name} is missing: build the win64 preset first (scripts/build does).")
  endif()
  file(COPY_FILE ${FROM}/${name} ${TO}/${name} ONLY_IF_DIFFERENT)
endforeach()
file(MAKE_DIRECTORY ${PROGRAM})
file(COPY_FILE ${TO}/control.swf ${PROGRAM}/control.swf ONLY_IF_DIFFERENT)
file(COPY_FILE ${PAGE} ${PROGRAM}/control.htm ONLY_IF_DIFFERENT)
