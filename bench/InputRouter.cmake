qm_add_bench(InputRouter SOURCES InputRouterBench.cpp DEPENDS InputRouter)
