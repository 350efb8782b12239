# The message-file reading benchmark: build/bench/bench_messages (prints the comparison with cat).
zelmo_benchmark(bench_messages SOURCES ${CMAKE_CURRENT_LIST_DIR}/messages_bench.cpp
                LIBS zelmo_viewers)
