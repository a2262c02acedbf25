// renewal-service: the reference renewal service (see README, renewal-service).
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

#include <pthread.h>

#include <httplib.h>

#include "server/service/options.h"
#include "server/service/service.h"
#include "server/service/store.h"

namespace {

using korvel::service::Options;

// Requests are served by this many threads; each keeps one connection while
// it is alive, so there are more than clients usually hold at once.
constexpr size_t kServiceThreads = 64;

int cannotStart(const std::string& message) {
  std::fprintf(stderr, "renewal-service: %s\n", message.c_str());
  return 2;
}

std::unique_ptr<httplib::Server> makeServer(const Options& options) {
  if (options.tlsCert.empty()) return std::make_unique<httplib::Server>();
  return std::make_unique<httplib::SSLServer>(options.tlsCert.c_str(), options.tlsKey.c_str());
}

// SIGINT and SIGTERM stop the server; the threads it makes inherit the mask,
// so only this waiter receives them.
std::thread stopOnSignal(httplib::Server& server, sigset_t signals) {
  return std::thread([&server, signals] {
    int received = 0;
    sigwait(&signals, &received);
    if (received != SIGUSR1) std::printf("renewal-service: stopping (signal %d)\n", received);
    server.stop();
  });
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  Options options;
  std::string error;
  if (!korvel::service::parseOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "renewal-service: %s\n%s", error.c_str(), korvel::service::kUsage);
    return 2;
  }
  std::unique_ptr<korvel::verify::Verifier> verifier = korvel::verify::Verifier::create(options.verify, error);
  if (!verifier) return cannotStart(error);
  std::unique_ptr<korvel::service::Store> store = korvel::service::Store::open(options.database, error);
  if (!store) return cannotStart(error);
  std::unique_ptr<httplib::Server> server = makeServer(options);
  if (!server->is_valid()) return cannotStart("cannot use the TLS certificate " + options.tlsCert + " and key " + options.tlsKey);

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  server->new_task_queue = [] { return new httplib::ThreadPool(kServiceThreads); };
  int port = options.listenPort;
  if (port == 0) {
    port = server->bind_to_any_port(options.listenHost);
    if (port < 0) return cannotStart("cannot listen on " + options.listenHost);
  } else if (!server->bind_to_port(options.listenHost, port)) {
    return cannotStart("cannot listen on " + options.listenHost + ":" + std::to_string(port));
  }
  std::string origin = korvel::service::serviceOrigin(options, port);
  korvel::service::RenewalService service(*verifier, *store, origin);
  service.install(*server);

  std::thread waiter = stopOnSignal(*server, signals);
  std::printf("renewal-service: listening on %s:%d (%s), origin %s, database %s\n", options.listenHost.c_str(), port,
              options.tlsCert.empty() ? "plain HTTP" : "TLS", origin.c_str(), options.database.c_str());
  bool served = server->listen_after_bind();
  // The waiter ends once it gets a signal: send one if the server stopped by itself.
  pthread_kill(waiter.native_handle(), SIGUSR1);
  waiter.join();
  if (!served) std::fprintf(stderr, "renewal-service: the server stopped with an error\n");
  return served ? 0 : 1;
}
