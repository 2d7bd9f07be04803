#pragma once

#include "LoopbackServer.h"

#include <curl/curl.h>

#include <cstdint>
#include <string>
#include <vector>

// Asks a blackbox exporter to probe targets as Prometheus would: one
// GET /probe?module=...&target=ADDRESS:PORT per target, a few at a time over
// kept-alive connections, each reply checked for "probe_success 1".
class ProbeDriver final {
public:
    struct Round {
        int succeeded = 0; // 200 replies that report probe_success 1
        std::string firstFailure;
    };

    ProbeDriver(uint16_t exporterPort, std::string module, int concurrency);
    ~ProbeDriver();
    ProbeDriver(const ProbeDriver&) = delete;
    ProbeDriver& operator=(const ProbeDriver&) = delete;

    // Probes every target once; gives up on what is left after timeoutMs.
    Round probeAll(const std::vector<LoopbackServer::Endpoint>& targets, long timeoutMs);

private:
    struct Transfer {
        CURL* handle = nullptr;
        std::string body;
        size_t target = 0;
    };
    static size_t keep(char* data, size_t size, size_t count, void* body);
    void start(Transfer& transfer, const LoopbackServer::Endpoint& target, size_t index);
    static void judge(CURLMsg* message, const Transfer& transfer,
                      const std::vector<LoopbackServer::Endpoint>& targets, Round& round);

    std::string m_base;
    CURLM* m_multi = nullptr;
    std::vector<Transfer> m_transfers;
};
