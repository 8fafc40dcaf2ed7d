// A TCP relay for benchmarks and tests that gives a loopback server the round-trip time of a distant one.
//
// Usage: orb_latency_proxy DIR TARGET_PORT DELAY_MS
//
// Binds 127.0.0.1 on an ephemeral port and prints "PORT <n>" on standard output once it listens. Every connection
// is relayed to 127.0.0.1:TARGET_PORT on a connection of its own. Each chunk of bytes arriving from the client is
// sent on DELAY_MS after its arrival, so that every request (also the later ones of a kept-alive connection) is
// answered DELAY_MS late; the server's bytes flow back at once. One line per accepted connection is appended to
// DIR/connections.log. Runs until it is killed.

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{

using TClock = std::chrono::steady_clock;

std::chrono::milliseconds GDelay{0};
std::string GLog;

bool SendAll(int Fd, const char* Data, size_t Size)
{
    while (Size > 0)
    {
        const ssize_t n = ::send(Fd, Data, Size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        Data += n;
        Size -= static_cast<size_t>(n);
    }
    return true;
}

/// The client's bytes, each chunk stamped with the time it may be passed on; an empty chunk marks the end.
struct TDelayQueue
{
    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<std::pair<TClock::time_point, std::string>> Chunks;

    void Push(std::string Chunk)
    {
        std::lock_guard lock(Lock);
        Chunks.emplace_back(TClock::now() + GDelay, std::move(Chunk));
        Changed.notify_one();
    }

    std::pair<TClock::time_point, std::string> Pop()
    {
        std::unique_lock lock(Lock);
        Changed.wait(lock, [this] { return !Chunks.empty(); });
        auto chunk = std::move(Chunks.front());
        Chunks.pop_front();
        return chunk;
    }
};

/// Reads the client's bytes as they come and queues them with their time stamps.
void ReadClient(int Client, TDelayQueue& Queue)
{
    std::string buffer(64 * 1024, '\0');
    for (;;)
    {
        const ssize_t n = ::recv(Client, buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        Queue.Push(buffer.substr(0, static_cast<size_t>(n)));
    }
    Queue.Push({});
}

/// Passes the server's bytes to the client at once; at the server's end, ends the client's side too.
void RelayServer(int Server, int Client)
{
    std::string buffer(256 * 1024, '\0');
    for (;;)
    {
        const ssize_t n = ::recv(Server, buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || !SendAll(Client, buffer.data(), static_cast<size_t>(n)))
            break;
    }
    ::shutdown(Client, SHUT_WR);
    // The client's reader may still wait on a client that keeps its side open: a closed server ends the relay.
    ::shutdown(Client, SHUT_RD);
}

int ConnectTarget(int Port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(Port));
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

void NoDelay(int Fd)
{
    int on = 1;
    ::setsockopt(Fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

void Relay(int Client, int TargetPort)
{
    if (const int log = ::open(GLog.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644); log >= 0)
    {
        const ssize_t written = ::write(log, "connection\n", 11);
        (void)written;
        ::close(log);
    }
    NoDelay(Client);
    // The client's first bytes are stamped as they arrive, while the connection to the server is being made.
    TDelayQueue queue;
    std::thread reader(ReadClient, Client, std::ref(queue));
    const int server = ConnectTarget(TargetPort);
    if (server < 0)
    {
        ::shutdown(Client, SHUT_RDWR);
        reader.join();
        ::close(Client);
        return;
    }
    NoDelay(server);
    std::thread back(RelayServer, server, Client);
    for (;;)
    {
        auto [due, chunk] = queue.Pop();
        if (chunk.empty())
            break;
        std::this_thread::sleep_until(due);
        if (!SendAll(server, chunk.data(), chunk.size()))
        {
            // The server is gone: the reader must stop waiting on the client.
            ::shutdown(Client, SHUT_RDWR);
            while (!queue.Pop().second.empty())
            {}
            break;
        }
    }
    ::shutdown(server, SHUT_WR);
    reader.join();
    back.join();
    ::close(server);
    ::close(Client);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4)
    {
        std::fprintf(stderr, "usage: %s DIR TARGET_PORT DELAY_MS\n", argv[0]);
        return 2;
    }
    GLog = std::string(argv[1]) + "/connections.log";
    const int targetPort = std::atoi(argv[2]);
    GDelay = std::chrono::milliseconds(std::atoi(argv[3]));
    std::signal(SIGPIPE, SIG_IGN);

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener, 128) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &length) != 0)
    {
        std::fprintf(stderr, "cannot listen on 127.0.0.1: %s\n", std::strerror(errno));
        return 1;
    }
    std::printf("PORT %d\n", ntohs(addr.sin_port));
    std::fflush(stdout);
    for (;;)
    {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
        {
            if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE || errno == ENFILE)
                continue;
            std::fprintf(stderr, "accept failed: %s\n", std::strerror(errno));
            return 1;
        }
        std::thread(Relay, client, targetPort).detach();
    }
}
