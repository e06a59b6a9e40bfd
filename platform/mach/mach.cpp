#include "platform/mach/mach.h"

#include <cerrno>
#include <ctime>
#include <new>

#include <semaphore.h>

namespace {
// Service names: a tag in the high bits so that a stray integer is never taken
// for one.
const clock_serv_t kServiceTag = 0x4D430000u;
}  // namespace

host_t mach_host_self() { return 1; }
mach_port_t mach_task_self() { return 2; }

kern_return_t host_get_clock_service(host_t, clock_id_t which, clock_serv_t* service)
{
  if (!service || (which != SYSTEM_CLOCK && which != CALENDAR_CLOCK)) return KERN_INVALID_ARGUMENT;
  *service = kServiceTag | (clock_serv_t)which;
  return KERN_SUCCESS;
}

kern_return_t clock_get_time(clock_serv_t service, mach_timespec_t* time)
{
  if (!time || (service & 0xFFFF0000u) != kServiceTag) return KERN_INVALID_ARGUMENT;
  const clock_id_t which = (clock_id_t)(service & 0xFFFFu);
  if (which != SYSTEM_CLOCK && which != CALENDAR_CLOCK) return KERN_INVALID_ARGUMENT;
  timespec ts;
  if (clock_gettime(which == SYSTEM_CLOCK ? CLOCK_MONOTONIC : CLOCK_REALTIME, &ts) != 0) return KERN_FAILURE;
  time->tv_sec = (unsigned int)ts.tv_sec;
  time->tv_nsec = (int)ts.tv_nsec;
  return KERN_SUCCESS;
}

kern_return_t mach_port_deallocate(mach_port_t, mach_port_t name)
{
  return (name & 0xFFFF0000u) == kServiceTag ? KERN_SUCCESS : KERN_INVALID_ARGUMENT;
}

uint64_t mach_absolute_time()
{
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

kern_return_t mach_timebase_info(mach_timebase_info_t info)
{
  if (!info) return KERN_INVALID_ARGUMENT;
  info->numer = 1;
  info->denom = 1;
  return KERN_SUCCESS;
}

struct mach_semaphore
{
  sem_t sem;
};

kern_return_t semaphore_create(mach_port_t, semaphore_t* semaphore, int policy, int value)
{
  if (!semaphore || policy != SYNC_POLICY_FIFO || value < 0) return KERN_INVALID_ARGUMENT;
  mach_semaphore* s = new (std::nothrow) mach_semaphore;
  if (!s) return KERN_FAILURE;
  if (sem_init(&s->sem, 0, (unsigned)value) != 0)
  {
    delete s;
    return KERN_FAILURE;
  }
  *semaphore = s;
  return KERN_SUCCESS;
}

kern_return_t semaphore_destroy(mach_port_t, semaphore_t semaphore)
{
  if (!semaphore) return KERN_INVALID_ARGUMENT;
  sem_destroy(&semaphore->sem);
  delete semaphore;
  return KERN_SUCCESS;
}

kern_return_t semaphore_signal(semaphore_t semaphore)
{
  if (!semaphore) return KERN_INVALID_ARGUMENT;
  return sem_post(&semaphore->sem) == 0 ? KERN_SUCCESS : KERN_FAILURE;
}

kern_return_t semaphore_wait(semaphore_t semaphore)
{
  if (!semaphore) return KERN_INVALID_ARGUMENT;
  // A signal handler's interruption is not a signal of the semaphore.
  while (sem_wait(&semaphore->sem) != 0)
    if (errno != EINTR) return KERN_FAILURE;
  return KERN_SUCCESS;
}
