# Fails when a file of the portable core (ROOT) includes a header that is
# not the C++ standard library's (an angle-bracket name with a dot or a
# slash: <windows.h>, <unistd.h>, <sys/socket.h>, <pcap/pcap.h>) or not the
# core's own. Writes STAMP when every file passes.
file(GLOB_RECURSE files ${ROOT}/*.h ${ROOT}/*.cpp)
set(bad "")
foreach(file ${files})
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*<[^>]*[./][^>]*>")
  foreach(line ${lines})
    file(RELATIVE_PATH name ${ROOT} ${file})
    string(APPEND bad "  ${name}: ${line}\n")
  endforeach()
endforeach()
if(bad)
  message(FATAL_ERROR "the portable core includes system headers:\n${bad}")
endif()
file(TOUCH ${STAMP})
