// SPDX-License-Identifier: MIT
// Watches the links that leave one stream's node and the nodes at their other end, and says
// whether one of those viewers runs: only then does a picture sent to it arrive.
#pragma once

#include <pipewire/pipewire.h>

#include <atomic>
#include <list>

class ViewerWatch {
public:
    // Call on the loop's thread (or with the loop locked), as the destructor.
    void start(pw_core* core, pw_stream* stream);
    ~ViewerWatch();

    bool running() const { return running_.load(); }  // any thread

private:
    struct Viewer {
        ViewerWatch* owner = nullptr;
        uint32_t link = 0;  // the link's global id
        pw_proxy* node = nullptr;
        spa_hook listener{};
        bool running = false;
    };

    static void onGlobal(void* data, uint32_t id, uint32_t, const char* type, uint32_t,
                         const spa_dict* props);
    static void onGlobalRemove(void* data, uint32_t id);
    static void onNodeInfo(void* data, const pw_node_info* info);
    void update();

    pw_stream* stream_ = nullptr;
    pw_registry* registry_ = nullptr;
    spa_hook registryListener_{};
    pw_registry_events registryEvents_{};
    pw_node_events nodeEvents_{};
    std::list<Viewer> viewers_;
    std::atomic<bool> running_{false};
};
