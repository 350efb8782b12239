# Benchmark of config/connections: saving a large connection list with one rewrite.
zelmo_benchmark(bench_connections_save SOURCES ${CMAKE_CURRENT_LIST_DIR}/connections_save_bench.cpp
                LIBS zelmo_config)
