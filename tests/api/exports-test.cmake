# The front end's dynamic symbol table defines exactly the 22 exports, as
# functions, and nothing else of its own. Run with -DNM=<the toolchain's nm>
# -DLIBRARY=<the front end>, so it reads a cross-built library as well.
set(expected
    Trelvo_GetVeltApiImplementationPath Trelvo_SetVeltApiImplementationPath
    VELT_BeginDynamicInitialization VELT_CancelDynamicInitialization VELT_Connect
    VELT_ConnectInSameProcess VELT_ConnectSingleton VELT_ConnectWithURI VELT_Disconnect
    VELT_DisconnectIfLastClient VELT_FinishInitialization VELT_GetAPIVersion
    VELT_GetAvailableConfigurationCount VELT_GetAvailableConfigurations VELT_GetConnectionStatus
    VELT_GetLastErrorMessage VELT_GetService VELT_LaunchMultitonServerInstance
    VELT_SelectConfigurationByFileName VELT_SelectConfigurationByName VELT_SetClientInfo
    VELT_SetConfigurationParameters)
list(TRANSFORM expected PREPEND "T ")

execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
    OUTPUT_VARIABLE table ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}: ${errors}")
endif()

# "<address> <type> <name>" per symbol; the type and name are compared.
string(REGEX MATCHALL "[^\n]+" lines "${table}")
set(defined)
foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[0-9a-fA-F]* +" "" symbol "${line}")
    list(APPEND defined "${symbol}")
endforeach()
list(SORT defined)
list(SORT expected)
if(NOT defined STREQUAL expected)
    set(unexpected ${defined})
    list(REMOVE_ITEM unexpected ${expected})
    set(missing ${expected})
    list(REMOVE_ITEM missing ${defined})
    message(FATAL_ERROR "dynamic symbols of ${LIBRARY} differ from the API.\n"
        "Not expected: ${unexpected}\nMissing: ${missing}")
endif()
