#ifndef HOLVIK_TUNER_SYSCALLS_H
#define HOLVIK_TUNER_SYSCALLS_H
/* The system calls through which the tuner reaches its devices, gathered in
 * one table so that tests can put a simulated module behind them. */

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tuner_syscalls {
    int (*open)(const char* path, int flags);
    int (*close)(int fd);
    /* `arg` is the pointer or, for I2C_SLAVE, the address as a value. */
    int (*ioctl)(int fd, unsigned long request, void* arg);
    long (*write)(int fd, const void* data, unsigned long length);
    void (*sleep_us)(unsigned long microseconds);
} tuner_syscalls;

/* Replaces the system calls (the table is copied); null restores the real
 * ones. Every entry must be set. */
void tuner_set_syscalls(const tuner_syscalls* calls);

#ifdef __cplusplus
}
#endif

#endif
