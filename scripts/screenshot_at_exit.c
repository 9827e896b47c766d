/* Preloaded into omx_test by scripts/main_job.sh: runs OMX_SCREENSHOT_CMD as the process ends,
 * while its X connection (and so its last window with the last picture drawn) still exists.
 * The variables are removed first so the command's own processes do not run it again. */
#include <stdlib.h>

__attribute__((destructor)) static void omx_screenshot_at_exit(void)
{
    const char *cmd = getenv("OMX_SCREENSHOT_CMD");
    if (!cmd || !*cmd)
        return;
    char copy[4096];
    int i = 0;
    for (; cmd[i] && i < (int)sizeof copy - 1; i++)
        copy[i] = cmd[i];
    copy[i] = 0;
    unsetenv("OMX_SCREENSHOT_CMD");
    unsetenv("LD_PRELOAD");
    if (system(copy) != 0) {
        /* The main job reports a missing screenshot itself. */
    }
}
