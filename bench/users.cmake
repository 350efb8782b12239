# The support library's user file: reads by index and by typed prefix on 100,000 users.
zelmo_benchmark(bench_users SOURCES ${CMAKE_CURRENT_LIST_DIR}/users_bench.cpp LIBS zozeziv)
