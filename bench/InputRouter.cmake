qm_add_bench(InputRouter SOURCES InputRouterBench.cpp AllocationCount.cpp DEPENDS InputRouter)
