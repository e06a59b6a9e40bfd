#pragma once
// The Mach clock services the MIDI clock reads, on Linux: the system clock is
// CLOCK_MONOTONIC (the time since the machine started), the calendar clock
// CLOCK_REALTIME, and absolute time counts monotonic nanoseconds with a timebase
// of 1/1. Semaphores are counting POSIX semaphores: a signal never blocks and
// takes no lock, so a real-time thread may wake a waiting one. Only the names the
// clock code and the MIDI input's hand-over call.

#include <cstdint>

typedef int kern_return_t;
typedef unsigned int mach_port_t;
typedef mach_port_t host_t;
typedef mach_port_t clock_serv_t;
typedef int clock_id_t;

enum
{
  KERN_SUCCESS = 0,
  KERN_INVALID_ARGUMENT = 4,
  KERN_FAILURE = 5,
};

enum
{
  SYSTEM_CLOCK = 0,
  CALENDAR_CLOCK = 1,
};

struct mach_timespec_t
{
  unsigned int tv_sec;
  int tv_nsec;
};

struct mach_timebase_info_data_t
{
  uint32_t numer;
  uint32_t denom;
};
typedef mach_timebase_info_data_t* mach_timebase_info_t;

host_t mach_host_self();
mach_port_t mach_task_self();
// A service for SYSTEM_CLOCK or CALENDAR_CLOCK; KERN_INVALID_ARGUMENT for others.
kern_return_t host_get_clock_service(host_t host, clock_id_t which, clock_serv_t* service);
kern_return_t clock_get_time(clock_serv_t service, mach_timespec_t* time);
// Releases a service obtained above; other names are refused.
kern_return_t mach_port_deallocate(mach_port_t task, mach_port_t name);
uint64_t mach_absolute_time();
kern_return_t mach_timebase_info(mach_timebase_info_t info);

// A semaphore; the name of an object created by semaphore_create.
typedef struct mach_semaphore* semaphore_t;
enum
{
  SYNC_POLICY_FIFO = 0,
};
kern_return_t semaphore_create(mach_port_t task, semaphore_t* semaphore, int policy, int value);
kern_return_t semaphore_destroy(mach_port_t task, semaphore_t semaphore);
// Never blocks: safe from a real-time thread.
kern_return_t semaphore_signal(semaphore_t semaphore);
// Waits for a signal (one that came earlier counts).
kern_return_t semaphore_wait(semaphore_t semaphore);
