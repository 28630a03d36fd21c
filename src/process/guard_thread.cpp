#include "process/guard_thread.hpp"

#include <pthread.h>

#include <cerrno>
#include <memory>
#include <system_error>

namespace korvel {
namespace {

// Far more than sleeping and writing one line take, sanitizers included.
constexpr std::size_t kStackBytes = std::size_t{256} << 10;

void* runBody(void* opaque) {
  const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(opaque));
  (*body)();
  return nullptr;
}

}  // namespace

void startGuardThread(std::function<void()> body) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, kStackBytes);
  pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  pthread_t thread;
  const int status = pthread_create(&thread, &attributes, runBody, owned.get());
  pthread_attr_destroy(&attributes);
  if (status != 0) {
    throw std::system_error(status, std::generic_category());
  }
  static_cast<void>(owned.release());  // the thread owns it now
}

}  // namespace korvel
