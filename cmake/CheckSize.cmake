# Fails the build when a shipped program has grown above its size budget.
#   cmake -DFILE=<program> -DBUDGET=<bytes> -P CheckSize.cmake
file(SIZE "${FILE}" size)
get_filename_component(name "${FILE}" NAME)
if(size GREATER BUDGET)
  math(EXPR over "${size} - ${BUDGET}")
  message(FATAL_ERROR "${name} is ${size} bytes, ${over} bytes above its budget of ${BUDGET} bytes "
                      "(the budgets are set in the root CMakeLists.txt)")
endif()
message(STATUS "${name}: ${size} bytes (budget ${BUDGET} bytes)")
