/*
 * A VELT API implementation whose 20 entry points do nothing and return 0 (an
 * empty text for VELT_GetLastErrorMessage), so that a measurement through the
 * front end sees the front end's own cost and nothing else.
 */
#include "Trelvo.h"

VeltResult VELT_Connect(VeltArg arg1) { (void)arg1; return 0; }
VeltResult VELT_ConnectInSameProcess(VeltArg arg1) { (void)arg1; return 0; }
VeltResult VELT_LaunchMultitonServerInstance(VeltArg arg1) { (void)arg1; return 0; }
VeltResult VELT_ConnectWithURI(VeltArg arg1, VeltArg arg2) { (void)arg1; (void)arg2; return 0; }
VeltResult VELT_ConnectSingleton(VeltArg arg1, VeltInt arg2) { (void)arg1; (void)arg2; return 0; }
VeltResult VELT_GetConnectionStatus(uint32_t *status) { (void)status; return 0; }
VeltResult VELT_Disconnect(void) { return 0; }
VeltResult VELT_DisconnectIfLastClient(uint32_t *lastClient) { (void)lastClient; return 0; }
VeltResult VELT_SelectConfigurationByFileName(VeltArg arg1) { (void)arg1; return 0; }
VeltResult VELT_SelectConfigurationByName(VeltArg arg1) { (void)arg1; return 0; }
VeltResult VELT_GetAvailableConfigurationCount(VeltArg arg1) { (void)arg1; return 0; }
VeltResult VELT_GetAvailableConfigurations(VeltInt arg1, VeltArg arg2) {
    (void)arg1; (void)arg2;
    return 0;
}
VeltResult VELT_SetConfigurationParameters(VeltInt arg1, VeltArg arg2, VeltArg arg3) {
    (void)arg1; (void)arg2; (void)arg3;
    return 0;
}
VeltResult VELT_SetClientInfo(VeltArg arg1, VeltArg arg2) { (void)arg1; (void)arg2; return 0; }
VeltResult VELT_FinishInitialization(void) { return 0; }
VeltResult VELT_BeginDynamicInitialization(void) { return 0; }
VeltResult VELT_CancelDynamicInitialization(void) { return 0; }
VeltResult VELT_GetAPIVersion(VeltArg arg1, VeltArg arg2) { (void)arg1; (void)arg2; return 0; }
VeltResult VELT_GetService(VeltInt arg1, VeltArg arg2) { (void)arg1; (void)arg2; return 0; }
const char *VELT_GetLastErrorMessage(VeltInt arg1) { (void)arg1; return ""; }
