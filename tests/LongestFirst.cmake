# Read by ctest after the discovered tests. ctest starts the costliest tests first, and a fresh build has no
# record of what each one cost. The kill sweeps, which fork a child for every point, take longest by far:
# started wherever they fall in the list, one of them can end a stage minutes after everything else.
foreach(test IN LISTS engine_tests_TESTS)
    if(test MATCHES "Kill")
        set_tests_properties("${test}" PROPERTIES COST 1000)
    endif()
endforeach()
