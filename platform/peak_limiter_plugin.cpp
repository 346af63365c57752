#include "platform/peak_limiter_plugin.h"

#include <dlfcn.h>
#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include <cmath>
#include <map>
#include <mutex>
#include <string>

namespace platform {

namespace {

constexpr const char* kStereoPlugin = "http://gareus.org/oss/lv2/dpl#stereo";
constexpr const char* kPluginLibrary = "/usr/lib/lv2/dpl.lv2/dpl.so";
constexpr double kSampleRateHz = 44100.0;

// The plugin's ports by index, as its description lists them.
enum Port : std::uint32_t {
  kControlIn = 0,
  kNotifyOut = 1,
  kEnable = 2,
  kInputGain = 3,
  kThreshold = 4,
  kRelease = 5,
  kTruePeak = 6,
  kLevelOut = 7,
  kLatencyOut = 8,
  kLeftIn = 9,
  kLeftOut = 10,
  kRightIn = 11,
  kRightOut = 12,
  kPortCount = 13,
};

// The plugin writes its display messages here; they are dropped.
constexpr std::size_t kNotifyBytes = 8192;

// lilv's worlds are separate, but loading a plugin's library and starting or ending an
// instance touch the process's shared state: one thread at a time does them.
std::mutex& lifecycleLock() {
  static std::mutex lock;
  return lock;
}

// The plugin's library stays loaded once loaded: every track's limiter needs it again, and the
// few kB each instance leaves allocated at its end keep a name that leak checkers can match.
void keepPluginLoaded() {
  static void* const kept = dlopen(kPluginLibrary, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  static_cast<void>(kept);
}

}  // namespace

struct PeakLimiterPlugin::Host {
  LilvWorld* world = nullptr;
  LilvInstance* instance = nullptr;
  bool active = false;
  std::map<std::string, LV2_URID> ids;
  LV2_URID_Map map{this, &Host::mapUri};
  float controls[kPortCount] = {};
  LV2_Atom_Sequence controlIn{};
  // Atoms are 64-bit aligned.
  alignas(8) unsigned char notify[kNotifyBytes] = {};

  static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
    auto& ids = static_cast<Host*>(handle)->ids;
    const auto [at, added] = ids.emplace(uri, static_cast<LV2_URID>(ids.size() + 1));
    return at->second;
  }

  ~Host() {
    const std::lock_guard<std::mutex> held(lifecycleLock());
    if (active) lilv_instance_deactivate(instance);
    if (instance) lilv_instance_free(instance);
    if (world) lilv_world_free(world);
  }
};

std::unique_ptr<PeakLimiterPlugin> PeakLimiterPlugin::open(double thresholdDb,
                                                           double releaseSeconds) {
  auto host = std::make_unique<Host>();
  {
    const std::lock_guard<std::mutex> held(lifecycleLock());
    keepPluginLoaded();
    host->world = lilv_world_new();
    if (!host->world) return nullptr;
    // Only the one bundle: nothing else installed is read or loaded.
    LilvNode* bundle = lilv_new_file_uri(host->world, nullptr, kPeakLimiterBundle);
    lilv_world_load_bundle(host->world, bundle);
    lilv_node_free(bundle);
    LilvNode* uri = lilv_new_uri(host->world, kStereoPlugin);
    const LilvPlugin* plugin =
        lilv_plugins_get_by_uri(lilv_world_get_all_plugins(host->world), uri);
    lilv_node_free(uri);
    if (!plugin || lilv_plugin_get_num_ports(plugin) != kPortCount) return nullptr;
    const LV2_Feature mapFeature{LV2_URID__map, &host->map};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    host->instance = lilv_plugin_instantiate(plugin, kSampleRateHz, features);
    if (!host->instance) return nullptr;
  }
  std::unique_ptr<PeakLimiterPlugin> limiter(new PeakLimiterPlugin(std::move(host)));
  Host& h = *limiter->host_;
  // Set before the plugin starts, so that it never runs with its defaults.
  h.controls[kEnable] = 1.0f;
  h.controls[kInputGain] = 0.0f;
  h.controls[kThreshold] = static_cast<float>(thresholdDb);
  h.controls[kRelease] = static_cast<float>(releaseSeconds);
  h.controls[kTruePeak] = 1.0f;
  for (std::uint32_t port = kEnable; port <= kLatencyOut; ++port) {
    lilv_instance_connect_port(h.instance, port, &h.controls[port]);
  }
  h.controlIn.atom.size = sizeof(LV2_Atom_Sequence_Body);
  h.controlIn.atom.type = Host::mapUri(&h, LV2_ATOM__Sequence);
  lilv_instance_connect_port(h.instance, kControlIn, &h.controlIn);
  lilv_instance_connect_port(h.instance, kNotifyOut, h.notify);
  lilv_instance_connect_port(h.instance, kLeftIn, limiter->input_[0]);
  lilv_instance_connect_port(h.instance, kRightIn, limiter->input_[1]);
  lilv_instance_connect_port(h.instance, kLeftOut, limiter->output_[0]);
  lilv_instance_connect_port(h.instance, kRightOut, limiter->output_[1]);
  {
    const std::lock_guard<std::mutex> held(lifecycleLock());
    lilv_instance_activate(h.instance);
    h.active = true;
  }
  return limiter;
}

PeakLimiterPlugin::PeakLimiterPlugin(std::unique_ptr<Host> host) : host_(std::move(host)) {}

PeakLimiterPlugin::~PeakLimiterPlugin() = default;

void PeakLimiterPlugin::run(std::size_t frames) {
  // The host tells the plugin how much room its message output has before every run.
  auto* notify = reinterpret_cast<LV2_Atom*>(host_->notify);
  notify->size = kNotifyBytes - sizeof(LV2_Atom);
  notify->type = 0;
  lilv_instance_run(host_->instance, static_cast<std::uint32_t>(frames));
}

std::size_t PeakLimiterPlugin::latencyFrames() const {
  const float latency = host_->controls[kLatencyOut];
  return latency > 0.0f ? static_cast<std::size_t>(std::lround(latency)) : 0;
}

}  // namespace platform
