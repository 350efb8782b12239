# Benchmarks of monitor/: the outbound queue count beside find, and one Status page of reads.
zelmo_benchmark(bench_queue SOURCES ${CMAKE_CURRENT_LIST_DIR}/queue_bench.cpp LIBS zelmo_monitor)
zelmo_benchmark(bench_status_reads SOURCES ${CMAKE_CURRENT_LIST_DIR}/status_reads_bench.cpp
                LIBS zelmo_monitor)
