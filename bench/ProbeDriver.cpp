#include "ProbeDriver.h"

#include <chrono>

ProbeDriver::ProbeDriver(uint16_t exporterPort, std::string module, int concurrency)
    : m_base("http://127.0.0.1:" + std::to_string(exporterPort) +
             "/probe?module=" + std::move(module) + "&target=")
    , m_transfers(static_cast<size_t>(concurrency)) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_MAX_HOST_CONNECTIONS, static_cast<long>(concurrency));
    for (Transfer& transfer : m_transfers)
        transfer.handle = curl_easy_init();
}

ProbeDriver::~ProbeDriver() {
    for (Transfer& transfer : m_transfers) {
        curl_multi_remove_handle(m_multi, transfer.handle);
        curl_easy_cleanup(transfer.handle);
    }
    curl_multi_cleanup(m_multi);
}

size_t ProbeDriver::keep(char* data, size_t size, size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

void ProbeDriver::start(Transfer& transfer, const LoopbackServer::Endpoint& target, size_t index) {
    const std::string url = m_base + target.address + ":" + std::to_string(target.port);
    transfer.body.clear();
    transfer.target = index;
    curl_easy_setopt(transfer.handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(transfer.handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(transfer.handle, CURLOPT_PROXY, "");
    curl_easy_setopt(transfer.handle, CURLOPT_TIMEOUT_MS, 10000L);
    curl_easy_setopt(transfer.handle, CURLOPT_WRITEFUNCTION, &ProbeDriver::keep);
    curl_easy_setopt(transfer.handle, CURLOPT_WRITEDATA, &transfer.body);
    curl_easy_setopt(transfer.handle, CURLOPT_PRIVATE, &transfer);
    curl_multi_add_handle(m_multi, transfer.handle);
}

void ProbeDriver::judge(CURLMsg* message, const Transfer& transfer,
                        const std::vector<LoopbackServer::Endpoint>& targets, Round& round) {
    long status = 0;
    curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &status);
    const bool success = message->data.result == CURLE_OK && status == 200 &&
                         transfer.body.find("\nprobe_success 1\n") != std::string::npos;
    if (success) {
        ++round.succeeded;
        return;
    }
    if (!round.firstFailure.empty())
        return;
    const LoopbackServer::Endpoint& target = targets[transfer.target];
    round.firstFailure = target.address + ":" + std::to_string(target.port) + ": " +
                         (message->data.result != CURLE_OK
                              ? std::string(curl_easy_strerror(message->data.result))
                              : "HTTP " + std::to_string(status) + ", " +
                                    transfer.body.substr(0, transfer.body.find("\nprobe_success")));
}

ProbeDriver::Round ProbeDriver::probeAll(const std::vector<LoopbackServer::Endpoint>& targets,
                                         long timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    Round round;
    std::vector<Transfer*> idle;
    for (Transfer& transfer : m_transfers)
        idle.push_back(&transfer);
    size_t next = 0;
    int running = 0;
    while ((next < targets.size() || running > 0) && std::chrono::steady_clock::now() < deadline) {
        for (; next < targets.size() && !idle.empty(); ++next) {
            start(*idle.back(), targets[next], next);
            idle.pop_back();
        }
        curl_multi_perform(m_multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(m_multi, &queued)) {
            if (message->msg != CURLMSG_DONE)
                continue;
            Transfer* transfer = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
            judge(message, *transfer, targets, round);
            curl_multi_remove_handle(m_multi, message->easy_handle);
            idle.push_back(transfer);
        }
        if (running > 0 && (idle.empty() || next == targets.size()))
            curl_multi_poll(m_multi, nullptr, 0, 100, nullptr);
    }
    for (Transfer& transfer : m_transfers)
        curl_multi_remove_handle(m_multi, transfer.handle);
    return round;
}
