#include "run/signal_watch.h"

#include <pthread.h>
#include <signal.h>

#include <iostream>
#include <system_error>
#include <thread>

#include "run/exit.h"

void watchTerminationSignals() {
  sigset_t watched;
  sigemptyset(&watched);
  int count = 0;
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
    struct sigaction current;
    // A blocked signal is kept for sigwait even when its action is to ignore it, so an ignored
    // one is left out rather than brought back to life.
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
      sigaddset(&watched, signal);
      ++count;
    }
  }
  if (count == 0) return;
  pthread_sigmask(SIG_BLOCK, &watched, nullptr);
  // sigwait in a thread of its own: the run is ended by ordinary code, not inside a handler.
  try {
    std::thread([watched] {
      int signal = 0;
      while (sigwait(&watched, &signal) != 0) {
      }
      signalExit(signal);
    }).detach();
  } catch (const std::system_error& error) {
    // Without the watcher the blocked signals could never stop the run.
    std::cout << "Error: Cannot start a thread (" << error.what()
              << "): too little memory, or too many processes.\n";
    plainExit(1);
  }
}
