#include "platform/linux/pipewire/PipeWireFrames.h"

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/linux/pipewire/StreamLayout.h"

namespace platform::linux_pipewire {
namespace {

using linux_wayland::Frame;
using linux_wayland::PixelOrder;

// How long the stream may take to reach its node, and the largest picture it is offered.
constexpr std::chrono::milliseconds kConnectWait{5000};
constexpr int kLargestSide = 16384;
constexpr int kSuggestedWidth = 1920;  // for producers that leave the size to the consumer
constexpr int kSuggestedHeight = 1080;
constexpr int kBytesPerPixel = 4;
constexpr std::size_t kParamBytes = 1024;
// Buffers the producer may cycle through; with fewer than two it stalls while we read one.
constexpr std::int32_t kFewestBuffers = 2;
constexpr std::int32_t kMostBuffers = 16;
// Pictures are taken seconds apart; more frames than this would only cost copies nobody reads.
constexpr std::uint32_t kMostFramesPerSecond = 15;
constexpr std::uint32_t kMostOfferedRate = 1000;

// Builds the formats we accept: raw video in one of the 32-bit orders, any size and rate, with the
// producer asked to send no more than kMostFramesPerSecond.
const spa_pod* VideoFormats(spa_pod_builder& builder) {
    spa_pod_frame object;
    spa_pod_builder_push_object(&builder, &object, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat);
    spa_pod_builder_prop(&builder, SPA_FORMAT_mediaType, 0);
    spa_pod_builder_id(&builder, SPA_MEDIA_TYPE_video);
    spa_pod_builder_prop(&builder, SPA_FORMAT_mediaSubtype, 0);
    spa_pod_builder_id(&builder, SPA_MEDIA_SUBTYPE_raw);

    spa_pod_frame choice;
    spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_format, 0);
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Enum, 0);
    spa_pod_builder_id(&builder, kOfferedVideoFormats[0]);  // the default
    for (const std::uint32_t format : kOfferedVideoFormats) {
        spa_pod_builder_id(&builder, format);
    }
    spa_pod_builder_pop(&builder, &choice);

    spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_size, 0);
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_rectangle(&builder, kSuggestedWidth, kSuggestedHeight);
    spa_pod_builder_rectangle(&builder, 1, 1);
    spa_pod_builder_rectangle(&builder, kLargestSide, kLargestSide);
    spa_pod_builder_pop(&builder, &choice);

    spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_framerate, 0);
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_fraction(&builder, 0, 1);
    spa_pod_builder_fraction(&builder, 0, 1);
    spa_pod_builder_fraction(&builder, kMostOfferedRate, 1);
    spa_pod_builder_pop(&builder, &choice);

    spa_pod_builder_prop(&builder, SPA_FORMAT_VIDEO_maxFramerate, 0);
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_fraction(&builder, kMostFramesPerSecond, 1);
    spa_pod_builder_fraction(&builder, 1, 1);
    spa_pod_builder_fraction(&builder, kMostFramesPerSecond, 1);
    spa_pod_builder_pop(&builder, &choice);
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &object));
}

// Buffers in memory we can map (a memfd or plain memory), never DMA-BUF.
const spa_pod* MappableBuffers(spa_pod_builder& builder) {
    spa_pod_frame object;
    spa_pod_builder_push_object(&builder, &object, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers);
    spa_pod_frame choice;
    spa_pod_builder_prop(&builder, SPA_PARAM_BUFFERS_buffers, 0);
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Range, 0);
    spa_pod_builder_int(&builder, kFewestBuffers + 2);
    spa_pod_builder_int(&builder, kFewestBuffers);
    spa_pod_builder_int(&builder, kMostBuffers);
    spa_pod_builder_pop(&builder, &choice);
    spa_pod_builder_prop(&builder, SPA_PARAM_BUFFERS_dataType, 0);
    spa_pod_builder_push_choice(&builder, &choice, SPA_CHOICE_Flags, 0);
    spa_pod_builder_int(&builder, (1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr));
    spa_pod_builder_pop(&builder, &choice);
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &object));
}

// A crop region on each buffer, for producers that send a part of a larger picture.
const spa_pod* CropMeta(spa_pod_builder& builder) {
    spa_pod_frame object;
    spa_pod_builder_push_object(&builder, &object, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta);
    spa_pod_builder_prop(&builder, SPA_PARAM_META_type, 0);
    spa_pod_builder_id(&builder, SPA_META_VideoCrop);
    spa_pod_builder_prop(&builder, SPA_PARAM_META_size, 0);
    spa_pod_builder_int(&builder, sizeof(spa_meta_region));
    return static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &object));
}

void InitialisePipeWire() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

class StreamFrames final : public PipeWireFrames {
  public:
    StreamFrames() = default;
    StreamFrames(const StreamFrames&) = delete;
    StreamFrames& operator=(const StreamFrames&) = delete;

    ~StreamFrames() override {
        // With the loop's thread ended no callback runs; the rest is torn down from here.
        if (loop != nullptr) {
            pw_thread_loop_stop(loop);
        }
        if (stream != nullptr) {
            spa_hook_remove(&streamListener);
            pw_stream_destroy(stream);
        }
        if (core != nullptr) {
            pw_core_disconnect(core);
        }
        if (context != nullptr) {
            pw_context_destroy(context);
        }
        if (loop != nullptr) {
            pw_thread_loop_destroy(loop);
        }
    }

    bool Open(int remoteFd, std::uint32_t nodeId, std::string& problem) {
        InitialisePipeWire();
        loop = pw_thread_loop_new("qv-pipewire", nullptr);
        if (loop == nullptr) {
            CloseUnused(remoteFd);
            problem = "cannot start a PipeWire loop";
            return false;
        }
        context = pw_context_new(pw_thread_loop_get_loop(loop), nullptr, 0);
        if (context == nullptr || pw_thread_loop_start(loop) != 0) {
            CloseUnused(remoteFd);
            problem = "cannot start a PipeWire loop";
            return false;
        }

        pw_thread_loop_lock(loop);
        core = remoteFd >= 0 ? pw_context_connect_fd(context, remoteFd, nullptr, 0)
                             : pw_context_connect(context, nullptr, 0);
        if (core == nullptr) {
            pw_thread_loop_unlock(loop);
            problem = std::string("cannot reach PipeWire: ") + std::strerror(errno);
            return false;
        }
        stream = pw_stream_new(core, "qvserver screen",
                               pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture",
                                                 PW_KEY_MEDIA_ROLE, "Screen", nullptr));
        if (stream == nullptr) {
            pw_thread_loop_unlock(loop);
            problem = "cannot make a PipeWire stream";
            return false;
        }
        static constexpr pw_stream_events kEvents = [] {
            pw_stream_events events{};
            events.version = PW_VERSION_STREAM_EVENTS;
            events.state_changed = OnStateChanged;
            events.param_changed = OnParamChanged;
            events.process = OnProcess;
            return events;
        }();
        pw_stream_add_listener(stream, &streamListener, &kEvents, this);
        std::uint8_t paramBytes[kParamBytes];
        spa_pod_builder builder{};
        spa_pod_builder_init(&builder, paramBytes, sizeof paramBytes);
        const spa_pod* params[] = {VideoFormats(builder)};
        const int connected = pw_stream_connect(
            stream, PW_DIRECTION_INPUT, nodeId,
            static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1);
        pw_thread_loop_unlock(loop);
        if (connected != 0) {
            problem = "cannot connect to the screen cast's PipeWire node " + std::to_string(nodeId);
            return false;
        }

        std::unique_lock guard(lock);
        const bool settled =
            changed.wait_for(guard, kConnectWait, [this] { return linked || !failure.empty(); });
        if (!failure.empty() || !settled) {
            problem = "the screen cast's PipeWire stream " + std::to_string(nodeId) +
                      (failure.empty() ? " did not start" : " failed: " + failure);
            return false;
        }
        return true;
    }

    bool WithNewestFrame(std::chrono::milliseconds wait,
                         const std::function<void(const Frame&)>& use) override {
        std::unique_lock guard(lock);
        if (!changed.wait_for(guard, wait, [this] { return frameWidth > 0 || !failure.empty(); }) ||
            frameWidth == 0 || !failure.empty()) {
            return false;
        }
        use(Frame{pixels.data(), frameWidth, frameHeight, frameWidth * kBytesPerPixel, frameOrder, false,
                  linux_wayland::OutputTransform::Normal});
        return true;
    }

  private:
    static void CloseUnused(int remoteFd) {
        if (remoteFd >= 0) {
            close(remoteFd);
        }
    }

    static void OnStateChanged(void* data, pw_stream_state, pw_stream_state state, const char* error) {
        auto* self = static_cast<StreamFrames*>(data);
        {
            std::lock_guard guard(self->lock);
            if (state == PW_STREAM_STATE_ERROR) {
                self->failure = error != nullptr ? error : "stream error";
            } else if (state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING) {
                self->linked = true;
            } else if (state == PW_STREAM_STATE_UNCONNECTED && self->linked) {
                self->failure = "the screen cast ended";
            }
        }
        self->changed.notify_all();
    }

    // Once a format is agreed: remember its size and order, and ask for buffers we can read.
    static void OnParamChanged(void* data, std::uint32_t id, const spa_pod* param) {
        auto* self = static_cast<StreamFrames*>(data);
        if (param == nullptr || id != SPA_PARAM_Format) {
            return;
        }
        std::uint32_t mediaType = 0;
        std::uint32_t mediaSubtype = 0;
        spa_video_info_raw info{};
        if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 || mediaType != SPA_MEDIA_TYPE_video ||
            mediaSubtype != SPA_MEDIA_SUBTYPE_raw || spa_format_video_raw_parse(param, &info) < 0) {
            return;
        }
        const std::optional<PixelOrder> order = OrderOfVideoFormat(info.format);
        if (!order) {
            return;
        }
        self->format =
            StreamFormat{static_cast<int>(info.size.width), static_cast<int>(info.size.height), *order};

        std::uint8_t paramBytes[kParamBytes];
        spa_pod_builder builder{};
        spa_pod_builder_init(&builder, paramBytes, sizeof paramBytes);
        const spa_pod* params[] = {MappableBuffers(builder), CropMeta(builder)};
        pw_stream_update_params(self->stream, params, 2);
    }

    // Takes the newest queued buffer, gives back the older ones, and keeps a copy of its picture, so
    // the producer has its buffer back at once.
    static void OnProcess(void* data) {
        auto* self = static_cast<StreamFrames*>(data);
        pw_buffer* newest = nullptr;
        while (pw_buffer* next = pw_stream_dequeue_buffer(self->stream)) {
            if (newest != nullptr) {
                pw_stream_queue_buffer(self->stream, newest);
            }
            newest = next;
        }
        if (newest == nullptr) {
            return;
        }
        self->Keep(*newest->buffer);
        pw_stream_queue_buffer(self->stream, newest);
    }

    void Keep(const spa_buffer& buffer) {
        if (!format || buffer.n_datas < 1 || buffer.datas[0].data == nullptr ||
            buffer.datas[0].chunk == nullptr) {
            return;
        }
        const spa_data& memory = buffer.datas[0];
        BufferFacts facts;
        facts.formatWidth = format->width;
        facts.formatHeight = format->height;
        facts.mappedBytes = memory.maxsize;
        facts.chunkOffset = memory.chunk->offset;
        facts.chunkSize = memory.chunk->size;
        facts.chunkStride = memory.chunk->stride;
        facts.corrupted = (memory.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) != 0;
        const auto* crop = static_cast<const spa_meta_region*>(
            spa_buffer_find_meta_data(&buffer, SPA_META_VideoCrop, sizeof(spa_meta_region)));
        if (crop != nullptr && crop->region.size.width > 0 && crop->region.size.height > 0) {
            facts.crop = Rect{crop->region.position.x, crop->region.position.y,
                              crop->region.position.x + static_cast<std::int32_t>(crop->region.size.width),
                              crop->region.position.y + static_cast<std::int32_t>(crop->region.size.height)};
        }
        const std::optional<PictureArea> area = PictureAreaOf(facts);
        if (!area) {
            return;
        }
        const auto* from = static_cast<const std::uint8_t*>(memory.data) + area->offset;
        const std::size_t rowBytes = static_cast<std::size_t>(area->width) * kBytesPerPixel;
        {
            std::lock_guard guard(lock);
            pixels.resize(rowBytes * static_cast<std::size_t>(area->height));
            for (int y = 0; y < area->height; ++y) {
                std::memcpy(pixels.data() + rowBytes * static_cast<std::size_t>(y),
                            from + static_cast<std::ptrdiff_t>(y) * area->stride, rowBytes);
            }
            frameWidth = area->width;
            frameHeight = area->height;
            frameOrder = format->order;
        }
        changed.notify_all();
    }

    struct StreamFormat {
        int width = 0;
        int height = 0;
        PixelOrder order = PixelOrder::Bgrx;
    };

    pw_thread_loop* loop = nullptr;
    pw_context* context = nullptr;
    pw_core* core = nullptr;
    pw_stream* stream = nullptr;
    spa_hook streamListener{};
    std::optional<StreamFormat> format;  // touched only on the loop's thread

    std::mutex lock;
    std::condition_variable changed;  // a frame came, or the stream's state changed
    // Guarded by lock: the newest picture, packed at four bytes a pixel, and how the stream fares.
    std::vector<std::uint8_t> pixels;
    int frameWidth = 0;
    int frameHeight = 0;
    PixelOrder frameOrder = PixelOrder::Bgrx;
    bool linked = false;
    std::string failure;
};

}  // namespace

std::unique_ptr<PipeWireFrames> PipeWireFrames::Connect(int remoteFd, std::uint32_t nodeId,
                                                        std::string& problem) {
    auto frames = std::make_unique<StreamFrames>();
    if (!frames->Open(remoteFd, nodeId, problem)) {
        return nullptr;
    }
    return frames;
}

}  // namespace platform::linux_pipewire
