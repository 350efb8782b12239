# The gateway simulator, run as a child process and read back through the console's readers.
if(TARGET gateway_sim)
    zelmo_test(tools_gateway_sim_test
               SOURCES ${CMAKE_CURRENT_LIST_DIR}/gateway_sim_test.cpp
               LIBS zelmo_gatewaysim zelmo_service zelmo_users zelmo_viewers zelmo_monitor zelmo_config zelmo_platform zozeziv)
    target_compile_definitions(tools_gateway_sim_test
                               PRIVATE GATEWAY_SIM_EXE="$<TARGET_FILE:gateway_sim>")
    add_dependencies(tools_gateway_sim_test gateway_sim)
endif()
