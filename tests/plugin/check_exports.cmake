# Fails unless the plug-in's dynamic symbol table defines exactly one symbol, Main.
execute_process(COMMAND nm -D --defined-only ${PLUGIN}
                OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${PLUGIN}")
endif()
string(REGEX REPLACE "[0-9a-fA-F]+ [A-Za-z] " "" names "${symbols}")
string(STRIP "${names}" names)
if(NOT names STREQUAL "Main")
  message(FATAL_ERROR "Particle.plm must export only Main, it exports:\n${names}")
endif()
