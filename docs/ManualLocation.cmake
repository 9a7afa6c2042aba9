# tolvan_manual_pdf_path(<var>): where the built manual goes, beside TolvanServerConfig,
# because the configurator opens it from its own folder.
function(tolvan_manual_pdf_path out_var)
    set(dir ${CMAKE_BINARY_DIR}/configurator)
    if(TARGET TolvanServerConfig)
        get_target_property(runtime_dir TolvanServerConfig RUNTIME_OUTPUT_DIRECTORY)
        if(runtime_dir)
            set(dir ${runtime_dir})
        else()
            get_target_property(dir TolvanServerConfig BINARY_DIR)
        endif()
    endif()
    set(${out_var} ${dir}/TolvanUsersManual.pdf PARENT_SCOPE)
endfunction()
