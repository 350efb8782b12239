zelmo_benchmark(bench_ini SOURCES ${CMAKE_CURRENT_LIST_DIR}/ini_bench.cpp LIBS zelmo_platform)
