# What the recorder needs beyond the toolkit, for the Windows cross build:
#   muParser   compiled here from Debian's source package (apt-get source muparser), fetched into the
#              build folder unless TAGSINK_MUPARSER_SOURCE names an unpacked source folder;
#   nlohmann/json, CLI11  header-only: the host's copies, by include path (only their own folders);
#   ODBC       the system's odbc32.
# The targets get the names that the shared folders' CMake files look for.

set(TAGSINK_MUPARSER_SOURCE "" CACHE PATH "Unpacked muParser source (default: fetched with apt-get source)")
if(NOT TAGSINK_MUPARSER_SOURCE)
  set(fetch_dir ${CMAKE_BINARY_DIR}/_deps/muparser)
  file(GLOB found LIST_DIRECTORIES true ${fetch_dir}/muparser-*/include/muParser.h)
  if(NOT found)
    file(REMOVE_RECURSE ${fetch_dir})
    file(MAKE_DIRECTORY ${fetch_dir})
    message(STATUS "Fetching muParser's source package into ${fetch_dir}")
    execute_process(COMMAND apt-get source muparser WORKING_DIRECTORY ${fetch_dir}
                    RESULT_VARIABLE fetch_result OUTPUT_VARIABLE fetch_output ERROR_VARIABLE fetch_output)
    file(GLOB found LIST_DIRECTORIES true ${fetch_dir}/muparser-*/include/muParser.h)
    if(NOT fetch_result EQUAL 0 OR NOT found)
      message(FATAL_ERROR "apt-get source muparser failed (is there a deb-src entry? scripts/deps.sh adds "
                          "one):\n${fetch_output}")
    endif()
  endif()
  list(GET found 0 found)
  get_filename_component(found ${found} DIRECTORY)
  get_filename_component(found ${found} DIRECTORY)
  set(muparser_dir ${found})
else()
  set(muparser_dir ${TAGSINK_MUPARSER_SOURCE})
endif()
if(NOT EXISTS ${muparser_dir}/include/muParser.h)
  message(FATAL_ERROR "${muparser_dir} holds no muParser source")
endif()
message(STATUS "muParser source: ${muparser_dir}")
add_library(muparser_static STATIC
  ${muparser_dir}/src/muParser.cpp ${muparser_dir}/src/muParserBase.cpp ${muparser_dir}/src/muParserBytecode.cpp
  ${muparser_dir}/src/muParserCallback.cpp ${muparser_dir}/src/muParserError.cpp
  ${muparser_dir}/src/muParserInt.cpp ${muparser_dir}/src/muParserTokenReader.cpp)
target_include_directories(muparser_static SYSTEM PUBLIC ${muparser_dir}/include)
target_compile_definitions(muparser_static PUBLIC MUPARSER_STATIC)
add_library(PkgConfig::MUPARSER ALIAS muparser_static)

# Header-only libraries: a folder that holds links to just their folders, so the host's other headers
# stay out of the cross compiler's way.
set(header_dir ${CMAKE_BINARY_DIR}/_deps/headers)
file(MAKE_DIRECTORY ${header_dir})
foreach(lib nlohmann CLI)
  if(NOT EXISTS /usr/include/${lib})
    message(FATAL_ERROR "/usr/include/${lib} is missing (scripts/deps.sh installs nlohmann-json3-dev and libcli11-dev)")
  endif()
  if(NOT EXISTS ${header_dir}/${lib})
    file(CREATE_LINK /usr/include/${lib} ${header_dir}/${lib} SYMBOLIC)
  endif()
endforeach()
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${header_dir})
add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${header_dir})

add_library(ODBC::ODBC INTERFACE IMPORTED GLOBAL)
target_link_libraries(ODBC::ODBC INTERFACE odbc32)

# cpp-httplib (tagsink-run's HTTP endpoint): Debian's libcpp-httplib-dev is a Linux library; the same
# version's source package holds the header-only form, compiled here. TAGSINK_HTTPLIB_SOURCE names an
# unpacked source folder instead.
set(TAGSINK_HTTPLIB_SOURCE "" CACHE PATH "Unpacked cpp-httplib source (default: fetched with apt-get source)")
set(httplib_dir ${TAGSINK_HTTPLIB_SOURCE})
if(NOT httplib_dir)
  set(fetch_dir ${CMAKE_BINARY_DIR}/_deps/cpp-httplib)
  file(GLOB found ${fetch_dir}/cpp-httplib-*/httplib.h)
  if(NOT found)
    file(REMOVE_RECURSE ${fetch_dir})
    file(MAKE_DIRECTORY ${fetch_dir})
    message(STATUS "Fetching cpp-httplib's source package into ${fetch_dir}")
    execute_process(COMMAND apt-get source cpp-httplib WORKING_DIRECTORY ${fetch_dir}
                    RESULT_VARIABLE fetch_result OUTPUT_VARIABLE fetch_output ERROR_VARIABLE fetch_output)
    file(GLOB found ${fetch_dir}/cpp-httplib-*/httplib.h)
    if(NOT fetch_result EQUAL 0 OR NOT found)
      message(FATAL_ERROR "apt-get source cpp-httplib failed (is there a deb-src entry? scripts/deps.sh adds "
                          "one):\n${fetch_output}")
    endif()
  endif()
  list(GET found 0 found)
  get_filename_component(httplib_dir ${found} DIRECTORY)
endif()
if(NOT EXISTS ${httplib_dir}/httplib.h)
  message(FATAL_ERROR "${httplib_dir} holds no httplib.h")
endif()
message(STATUS "cpp-httplib source: ${httplib_dir}")
add_library(tagsink_httplib INTERFACE)
target_include_directories(tagsink_httplib SYSTEM INTERFACE ${httplib_dir})
target_link_libraries(tagsink_httplib INTERFACE ws2_32)
