// SPDX-License-Identifier: MIT
#include "viewer_watch.h"

#include <cstdlib>
#include <cstring>

void ViewerWatch::start(pw_core* core, pw_stream* stream) {
    stream_ = stream;
    registry_ = pw_core_get_registry(core, PW_VERSION_REGISTRY, 0);
    if (!registry_) return;
    registryEvents_.version = PW_VERSION_REGISTRY_EVENTS;
    registryEvents_.global = onGlobal;
    registryEvents_.global_remove = onGlobalRemove;
    nodeEvents_.version = PW_VERSION_NODE_EVENTS;
    nodeEvents_.info = onNodeInfo;
    pw_registry_add_listener(registry_, &registryListener_, &registryEvents_, this);
}

ViewerWatch::~ViewerWatch() {
    for (Viewer& v : viewers_) {
        spa_hook_remove(&v.listener);
        pw_proxy_destroy(v.node);
    }
    if (registry_) {
        spa_hook_remove(&registryListener_);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry_));
    }
}

void ViewerWatch::onGlobal(void* data, uint32_t id, uint32_t, const char* type, uint32_t,
                           const spa_dict* props) {
    auto* self = static_cast<ViewerWatch*>(data);
    if (std::strcmp(type, PW_TYPE_INTERFACE_Link) != 0 || !props) return;
    const char* out = spa_dict_lookup(props, PW_KEY_LINK_OUTPUT_NODE);
    const char* in = spa_dict_lookup(props, PW_KEY_LINK_INPUT_NODE);
    if (!out || !in) return;
    const uint32_t ours = pw_stream_get_node_id(self->stream_);
    if (ours == SPA_ID_INVALID || std::strtoul(out, nullptr, 10) != ours) return;
    auto* node = static_cast<pw_proxy*>(
        pw_registry_bind(self->registry_, static_cast<uint32_t>(std::strtoul(in, nullptr, 10)),
                         PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0));
    if (!node) return;
    Viewer& v = self->viewers_.emplace_back();
    v.owner = self;
    v.link = id;
    v.node = node;
    pw_node_add_listener(reinterpret_cast<pw_node*>(node), &v.listener, &self->nodeEvents_, &v);
}

void ViewerWatch::onGlobalRemove(void* data, uint32_t id) {
    auto* self = static_cast<ViewerWatch*>(data);
    for (auto it = self->viewers_.begin(); it != self->viewers_.end(); ++it) {
        if (it->link != id) continue;
        spa_hook_remove(&it->listener);
        pw_proxy_destroy(it->node);
        self->viewers_.erase(it);
        self->update();
        return;
    }
}

void ViewerWatch::onNodeInfo(void* data, const pw_node_info* info) {
    auto* v = static_cast<Viewer*>(data);
    if (!(info->change_mask & PW_NODE_CHANGE_MASK_STATE)) return;
    v->running = info->state == PW_NODE_STATE_RUNNING;
    v->owner->update();
}

void ViewerWatch::update() {
    bool any = false;
    for (const Viewer& v : viewers_) any = any || v.running;
    running_ = any;
}
