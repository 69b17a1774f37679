#include "kvr_mw.h"

#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

static pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
static kvr_mw_log_sink g_sink;
static void* g_sinkUser;
static unsigned g_failIn;
static long g_live;

static int take_allocation(void)
{
    int ok = 1;
    pthread_mutex_lock(&g_lock);
    if (g_failIn > 0 && --g_failIn == 0)
        ok = 0;
    pthread_mutex_unlock(&g_lock);
    return ok;
}

static void count(long delta)
{
    pthread_mutex_lock(&g_lock);
    g_live += delta;
    pthread_mutex_unlock(&g_lock);
}

void* kvr_mw_malloc(const char* caller, int line, size_t size)
{
    (void)caller;
    (void)line;
    if (!take_allocation())
        return NULL;
    void* p = malloc(size ? size : 1);
    if (p)
        count(1);
    return p;
}

void* kvr_mw_calloc(const char* caller, int line, size_t n, size_t size)
{
    (void)caller;
    (void)line;
    if (!take_allocation())
        return NULL;
    void* p = calloc(n ? n : 1, size ? size : 1);
    if (p)
        count(1);
    return p;
}

void kvr_mw_free(const char* caller, int line, void* ptr)
{
    (void)caller;
    (void)line;
    if (!ptr)
        return;
    free(ptr);
    count(-1);
}

void kvr_mw_log(int level, const char* format, ...)
{
    char line[1024];
    va_list ap;
    va_start(ap, format);
    vsnprintf(line, sizeof line, format, ap);
    va_end(ap);
    pthread_mutex_lock(&g_lock);
    kvr_mw_log_sink sink = g_sink;
    void* user = g_sinkUser;
    pthread_mutex_unlock(&g_lock);
    if (sink)
        sink(level, line, user);
    else
        fprintf(stderr, "[mw:%d] %s", level, line);
}

void kvr_mw_set_log_sink(kvr_mw_log_sink sink, void* user)
{
    pthread_mutex_lock(&g_lock);
    g_sink = sink;
    g_sinkUser = user;
    pthread_mutex_unlock(&g_lock);
}

void kvr_mw_fail_allocation(unsigned n)
{
    pthread_mutex_lock(&g_lock);
    g_failIn = n;
    pthread_mutex_unlock(&g_lock);
}

long kvr_mw_live_allocations(void)
{
    pthread_mutex_lock(&g_lock);
    long n = g_live;
    pthread_mutex_unlock(&g_lock);
    return n;
}
