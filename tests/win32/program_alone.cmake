# Configures and builds the program alone in a fresh folder, from a copy of the sources,
# as a machine with nothing but a compiler and CMake would: the tests off, GoogleTest's
# sources gone (an empty file system laid over their folder in a private mount namespace)
# and Python 3 not to be found. The executable must then be a PE32 GUI program for i386,
# and a change to any file that the resource script names must build it again. In the
# same folder, asking for the tests must fail and name what they lack, and leaving the
# option unset must turn it off.
#
#     cmake -DSOURCE=DIR -DWORK=DIR -DGOOGLETEST=DIR -P program_alone.cmake
cmake_minimum_required(VERSION 3.20)

foreach(name SOURCE WORK GOOGLETEST)
    if(NOT ${name})
        message(FATAL_ERROR "program_alone.cmake needs -D${name}=...")
    endif()
endforeach()
if(NOT IS_DIRECTORY ${GOOGLETEST})
    message(FATAL_ERROR "${GOOGLETEST} is not a folder: there are no GoogleTest sources to hide")
endif()

# Runs a command with GoogleTest's folder empty; the command's output lands in OUTPUT.
function(without_test_needs expect)
    execute_process(
        COMMAND unshare --map-root-user --mount
                sh -c "mount -t tmpfs tmpfs \"$0\" && exec \"$@\"" ${GOOGLETEST} ${ARGN}
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    set(OUTPUT "${output}" PARENT_SCOPE)
    list(JOIN ARGN " " command)
    if(expect STREQUAL "SUCCEEDS" AND NOT result EQUAL 0)
        message(NOTICE "${output}")
        message(FATAL_ERROR "Failed (${result}): ${command}")
    elseif(expect STREQUAL "FAILS" AND result EQUAL 0)
        message(NOTICE "${output}")
        message(FATAL_ERROR "Succeeded, but should have failed: ${command}")
    endif()
endfunction()

# Reads COUNT bytes at OFFSET of the file as an unsigned little-endian number.
function(read_number file offset count variable)
    file(READ ${file} hex OFFSET ${offset} LIMIT ${count} HEX)
    set(number 0)
    math(EXPR last "${count} - 1")
    foreach(index RANGE ${last} 0 -1)
        math(EXPR at "${index} * 2")
        string(SUBSTRING "${hex}" ${at} 2 byte)
        math(EXPR number "${number} * 256 + 0x${byte}")
    endforeach()
    set(${variable} ${number} PARENT_SCOPE)
endfunction()

# The copy is the checkout without its build folders and history: its files can be
# touched without disturbing the tree this test runs in.
file(REMOVE_RECURSE ${WORK})
set(copy ${WORK}/source)
set(build ${WORK}/build)
file(COPY ${SOURCE}/ DESTINATION ${copy} PATTERN .git EXCLUDE PATTERN build EXCLUDE)
without_test_needs(SUCCEEDS ${CMAKE_COMMAND} -S ${copy} -B ${build}
    -DCMAKE_TOOLCHAIN_FILE=${copy}/cmake/mingw-i686.cmake
    -DTHOUSAND_TESTS=OFF -DTHOUSAND_GOOGLETEST_DIR=${GOOGLETEST}
    -DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON)
without_test_needs(SUCCEEDS ${CMAKE_COMMAND} --build ${build} --target thousand -j 2)

# The PE headers: the "MZ" stub points at the "PE\0\0" signature, which the file header
# follows (machine and characteristics), then the optional header (magic, subsystem).
set(program ${build}/thousand.exe)
if(NOT EXISTS ${program})
    message(FATAL_ERROR "The build made no ${program}")
endif()
read_number(${program} 0 2 stub)
read_number(${program} 60 4 pe)
read_number(${program} ${pe} 4 signature)
math(EXPR at "${pe} + 4")
read_number(${program} ${at} 2 machine)
math(EXPR at "${pe} + 22")
read_number(${program} ${at} 2 characteristics)
math(EXPR at "${pe} + 24")
read_number(${program} ${at} 2 magic)
math(EXPR at "${pe} + 92")
read_number(${program} ${at} 2 subsystem)
math(EXPR executable "${characteristics} & 0x0002")
math(EXPR library "${characteristics} & 0x2000")
# "MZ" (0x5A4D), "PE\0\0" (0x4550), i386 (0x14C), PE32 (0x10B), an executable image
# but no DLL, the Windows GUI subsystem (2).
if(NOT stub EQUAL 23117 OR NOT signature EQUAL 17744 OR NOT machine EQUAL 332
   OR NOT magic EQUAL 267 OR executable EQUAL 0 OR NOT library EQUAL 0 OR NOT subsystem EQUAL 2)
    message(FATAL_ERROR "${program} is no PE32 GUI program for i386: stub ${stub}, "
                        "signature ${signature}, machine ${machine}, magic ${magic}, "
                        "characteristics ${characteristics}, subsystem ${subsystem}")
endif()

# windres reads the files that the script names, beyond what CMake sees of it.
file(STRINGS ${copy}/resources/thousand.rc statements REGEX "^[^/].*\"[^\"]+\"")
set(names)
foreach(statement IN LISTS statements)
    string(REGEX MATCH "\"([^\"]+)\"" quoted "${statement}")
    set(name ${CMAKE_MATCH_1})
    list(APPEND names ${name})
    file(TOUCH ${copy}/resources/${name})
    without_test_needs(SUCCEEDS ${CMAKE_COMMAND} --build ${build} --target thousand -j 2)
    if(NOT OUTPUT MATCHES "RC object[^\n]*thousand\\.rc")
        message(FATAL_ERROR "A changed ${name} left the program's resources as they were:\n${OUTPUT}")
    endif()
endforeach()
if(NOT "thousand.mod" IN_LIST names)
    message(FATAL_ERROR "The resource script's files were not all found: ${names}")
endif()

# The first error names both, rather than some later step tripping over their absence.
without_test_needs(FAILS ${CMAKE_COMMAND} -S ${copy} -B ${build} -DTHOUSAND_TESTS=ON)
string(FIND "${OUTPUT}" "CMake Error" first)
if(first EQUAL -1)
    message(FATAL_ERROR "The configuration failed without an error of CMake's:\n${OUTPUT}")
endif()
math(EXPR first "${first} + 1")
string(SUBSTRING "${OUTPUT}" ${first} -1 error)
string(FIND "${error}" "CMake Error" next)
if(NOT next EQUAL -1)
    string(SUBSTRING "${error}" 0 ${next} error)
endif()
foreach(need "GoogleTest's sources" "Python 3")
    string(FIND "${error}" "${need}" found)
    if(found EQUAL -1)
        message(FATAL_ERROR "The configuration's first error does not name ${need}:\n${OUTPUT}")
    endif()
endforeach()

without_test_needs(SUCCEEDS ${CMAKE_COMMAND} -S ${copy} -B ${build} -UTHOUSAND_TESTS)
file(STRINGS ${build}/CMakeCache.txt option REGEX "^THOUSAND_TESTS:")
if(NOT option STREQUAL "THOUSAND_TESTS:BOOL=OFF")
    message(FATAL_ERROR "Without its needs the option should default to OFF, not '${option}'")
endif()
message(STATUS "${program}: PE32 GUI program for i386, built without the tests' needs")
