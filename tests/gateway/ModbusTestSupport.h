#pragma once

#include <arpa/inet.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

// A controller of the test's own on loopback: holding registers 0 to count - 1, served on a
// thread until it is destroyed; port 0 takes a free one.
class CTestController {
public:
    explicit CTestController(int port = 0, int count = 10) {
        m_context = modbus_new_tcp("127.0.0.1", port);
        m_mapping = modbus_mapping_new(0, 0, count, 0);
        m_listen = modbus_tcp_listen(m_context, 1);
        sockaddr_in address{};
        socklen_t length = sizeof address;
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
        m_nPort = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CTestController() {
        m_stop = true;
        m_thread.join();
        close(m_listen);
        modbus_mapping_free(m_mapping);
        modbus_free(m_context);
    }
    void Set(int address, uint16_t value) {
        std::lock_guard lock(m_mutex);
        m_mapping->tab_registers[address] = value;
    }
    int Port() const { return m_nPort; }

private:
    // Waits in short slices so that stopping needs no signal; no test waits on their length.
    bool Readable(int socket) {
        pollfd wait{socket, POLLIN, 0};
        while (!m_stop) {
            if (poll(&wait, 1, 10) > 0) {
                return true;
            }
        }
        return false;
    }
    void Serve() {
        while (Readable(m_listen)) {
            int listen = m_listen;
            const int client = modbus_tcp_accept(m_context, &listen);
            uint8_t request[MODBUS_TCP_MAX_ADU_LENGTH];
            while (client >= 0 && Readable(client)) {
                const int length = modbus_receive(m_context, request);
                if (length < 0) {
                    break;
                }
                std::lock_guard lock(m_mutex);
                modbus_reply(m_context, request, length, m_mapping);
            }
            modbus_close(m_context);
        }
    }
    modbus_t* m_context;
    modbus_mapping_t* m_mapping;
    int m_listen = -1;
    int m_nPort = 0;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::thread m_thread;
};
