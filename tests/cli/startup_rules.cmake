# Fails when the static nolt holds code its start-up rules keep out (run by ctest as
#   cmake -DNM=<nm> -DPROGRAM=<nolt> -P startup_rules.cmake).
# nolt starts for every command, and what it links runs or is paged in at start:
#   - iostreams and locales construct their global objects before main() (std::ios_base::Init,
#     std::locale::classic), tens of page faults for a program that prints a line;
#   - std::filesystem pulls in locale-aware path code;
#   - Boost.JSON beyond its parser (boost::json::value and friends) brings its allocator and
#     serializer, and in a static link its shared resource.
# Each rule is a pattern over the mangled symbol names, with the reason printed when it fails.
execute_process(COMMAND ${NM} ${PROGRAM} OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} could not read ${PROGRAM}")
endif()
set(rules
  "_ZNSt8ios_base4Init|iostreams: write with stdio (std::fwrite, std::fputs) as the rest of cli/ does"
  "_ZNSt6locale7classic|a std::locale: nothing in cli/ may need one at start"
  "_ZNSt10filesystem|std::filesystem: cli/ works on plain path strings"
  "_ZNSt7__cxx1110filesystem|std::filesystem: cli/ works on plain path strings"
  "_ZN5boost4json5value[CD]|boost::json::value: nolt compiles only the parser parts (cli/json_parser_parts.cpp)"
  "_ZN5boost4json9serialize|boost::json::serialize: nolt writes its own JSON (wire/)")
set(broken "")
foreach(rule IN LISTS rules)
  string(REPLACE "|" ";" parts "${rule}")
  list(GET parts 0 pattern)
  list(GET parts 1 reason)
  string(REGEX MATCH "[^\n]*${pattern}[^\n]*" found "${symbols}")
  if(found)
    string(APPEND broken "\n  ${found}\n    -> ${reason}")
  endif()
endforeach()
if(broken)
  message(FATAL_ERROR "nolt links code its start-up rules keep out (see CONTRIBUTING.md):${broken}")
endif()
message(STATUS "nolt keeps its start-up rules")
