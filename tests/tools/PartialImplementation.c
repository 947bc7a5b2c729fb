/* An implementation that lacks VELT_GetService, one of the required entry
 * points, and offers one optional entry point. */
#include <stdint.h>

#define PARTIAL_API __attribute__((visibility("default")))

PARTIAL_API uint32_t VELT_Connect(void *arg1) { (void)arg1; return 0; }
PARTIAL_API uint32_t VELT_ConnectInSameProcess(void *arg1) { (void)arg1; return 0; }
PARTIAL_API uint32_t VELT_ConnectWithURI(void *arg1, void *arg2) { (void)arg1; (void)arg2; return 0; }
PARTIAL_API uint32_t VELT_GetConnectionStatus(uint32_t *status) { *status = 0; return 0; }
PARTIAL_API uint32_t VELT_Disconnect(void) { return 0; }
PARTIAL_API uint32_t VELT_GetAPIVersion(void *arg1, void *arg2) { (void)arg1; (void)arg2; return 0; }
PARTIAL_API const char *VELT_GetLastErrorMessage(uint32_t arg1) { (void)arg1; return "partial"; }
