# cmake -DNM=<nm> -DOBJECTS=<a;b;...> -P no_static_initializers.cmake
# Fails when an object of the library needs a global constructed or
# destroyed at run time: the library has no start-up code that would do it.
execute_process(COMMAND ${NM} ${OBJECTS} OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "_GLOBAL__sub_[ID]_[A-Za-z0-9_]+" found "${symbols}")
if(found)
  message(FATAL_ERROR "static initializers or finalizers in the library: ${found}")
endif()
message(STATUS "no static initializers in ${OBJECTS}")
