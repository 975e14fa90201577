# add_rc_resources(TARGET file.rc): compiles a module's .rc file into it. On Linux our wrc turns it into
# C++ data for the simulated user32; on Windows the toolchain's resource compiler takes the same file.
function(add_rc_resources target rcfile)
  get_filename_component(rc_abs ${rcfile} ABSOLUTE)
  get_filename_component(rc_name ${rcfile} NAME_WE)
  if(WIN32)
    target_sources(${target} PRIVATE ${rc_abs})
  else()
    set(out ${CMAKE_CURRENT_BINARY_DIR}/${rc_name}_rc.cpp)
    get_filename_component(rc_dir ${rc_abs} DIRECTORY)
    file(GLOB rc_headers ${rc_dir}/*.h)
    add_custom_command(OUTPUT ${out}
      COMMAND wrc ${rc_abs} ${out}
      DEPENDS wrc ${rc_abs} ${rc_headers}
      COMMENT "Compiling resources ${rcfile}")
    target_sources(${target} PRIVATE ${out})
  endif()
endfunction()
