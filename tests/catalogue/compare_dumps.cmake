# Runs the dump tool and fails unless it succeeds with output identical to the committed dump
# (GOLDEN). A deliberate change to src/console/catalogue.txt regenerates it:
#   build/bin/mx7300-catalogue > tests/catalogue/catalogue_dump.golden
# The tool's output is kept in WORK_DIR for inspection.
foreach(var DUMP_TOOL GOLDEN WORK_DIR)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()

set(tool_out "${WORK_DIR}/catalogue_dump_tool.txt")
# EMULATOR runs a cross-built tool (Wine for the Windows build); empty otherwise.
execute_process(COMMAND ${EMULATOR} "${DUMP_TOOL}" OUTPUT_FILE "${tool_out}" RESULT_VARIABLE tool_result)
if(NOT tool_result EQUAL 0)
    message(FATAL_ERROR "${DUMP_TOOL} failed: ${tool_result}")
endif()

file(SHA256 "${tool_out}" tool_hash)
file(SHA256 "${GOLDEN}" golden_hash)
file(SIZE "${tool_out}" tool_size)
if(tool_size EQUAL 0)
    message(FATAL_ERROR "${DUMP_TOOL} printed nothing")
endif()
if(NOT tool_hash STREQUAL golden_hash)
    find_program(DIFF diff)
    if(DIFF)
        execute_process(COMMAND "${DIFF}" -u "${GOLDEN}" "${tool_out}")
    endif()
    message(FATAL_ERROR "dump tool output differs from ${GOLDEN}; see ${tool_out}")
endif()
message(STATUS "identical: ${tool_size} bytes")
