/* Preloaded by bench_decoding.sh: as the process exits, writes the CPU time of its main thread
 * (the thread that runs the decoding pass; the core's own threads are not counted) in seconds
 * to the file named by BENCH_CPU_FILE. */
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

__attribute__((destructor)) static void bench_thread_cpu(void)
{
    const char *path = getenv("BENCH_CPU_FILE");
    struct timespec t;
    if (!path || clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t) != 0)
        return;
    FILE *f = fopen(path, "w");
    if (!f)
        return;
    fprintf(f, "%.6f\n", (double)t.tv_sec + (double)t.tv_nsec / 1e9);
    fclose(f);
}
