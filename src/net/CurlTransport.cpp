#include "net/CurlTransport.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace vokari {
namespace {

struct DownloadSink;

struct Transfer {
    HttpRequest request;
    HttpCompletion completion;
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    std::string responseBody;
    std::size_t maxBytes = 0;
    bool tooLarge = false;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    std::shared_ptr<DownloadSink> download; // set for downloads to a file

    ~Transfer() {
        if (easy) {
            curl_easy_cleanup(easy);
        }
        curl_slist_free_all(headers);
    }
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    std::size_t n = size * count;
    if (t->responseBody.size() + n > t->maxBytes) {
        t->tooLarge = true;
        return 0; // aborts the transfer with CURLE_WRITE_ERROR
    }
    t->responseBody.append(data, n);
    return n;
}

void globalInit() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// A download's file and its cancellation. The completion wrapper owns it too, so the file is closed only once
// libcurl has let go of the transfer.
struct DownloadSink {
    std::FILE* file = nullptr;
    std::size_t written = 0;
    std::size_t maxBytes = 0;
    bool tooLarge = false;
    int writeErrno = 0;
    std::shared_ptr<RequestCancellation> cancellation;

    ~DownloadSink() {
        if (file) {
            std::fclose(file);
        }
    }
    bool cancelled() const { return cancellation && cancellation->isCancelled(); }
};

std::size_t onFileBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<DownloadSink*>(user);
    std::size_t n = size * count;
    if (sink->cancelled()) {
        return 0;
    }
    if (sink->written + n > sink->maxBytes) {
        sink->tooLarge = true;
        return 0;
    }
    if (std::fwrite(data, 1, n, sink->file) != n) {
        sink->writeErrno = errno ? errno : EIO;
        return 0;
    }
    sink->written += n;
    return n;
}

// Called on every pass of the worker over the transfer, so a cancel (which also wakes the worker) stops it at once.
int onDownloadProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<DownloadSink*>(user)->cancelled() ? 1 : 0;
}

void setupDownload(Transfer& t) {
    curl_easy_setopt(t.easy, CURLOPT_WRITEFUNCTION, &onFileBody);
    curl_easy_setopt(t.easy, CURLOPT_WRITEDATA, t.download.get());
    curl_easy_setopt(t.easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(t.easy, CURLOPT_XFERINFOFUNCTION, &onDownloadProgress);
    curl_easy_setopt(t.easy, CURLOPT_XFERINFODATA, t.download.get());
    // A download asked for over https stays on https through redirects.
    if (t.request.url.starts_with("https://")) {
        curl_easy_setopt(t.easy, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    }
}

// What the caller of download() is told: a cancel wins over whatever the transfer reached, and a file that could
// not be written is a failure even when the server answered.
HttpResult downloadResult(DownloadSink& sink, HttpResult result) {
    const bool closeFailed = sink.file && std::fclose(sink.file) != 0;
    const int closeErrno = closeFailed ? errno : 0;
    sink.file = nullptr;
    if (sink.cancelled()) {
        return TransportError{urlError::cancelled, "cancelled"};
    }
    if (sink.tooLarge) {
        return TransportError{urlError::unknown, "The download is too large"};
    }
    if (sink.writeErrno || (closeFailed && std::holds_alternative<HttpResponse>(result))) {
        return TransportError{urlError::unknown, std::string("Could not write the download: ") +
                                                     std::strerror(sink.writeErrno ? sink.writeErrno : closeErrno)};
    }
    return result;
}

} // namespace

struct CurlTransport::Impl {
    Options options;
    CURLM* multi = nullptr;
    mutable std::mutex mutex;
    mutable std::condition_variable idle;
    std::deque<std::unique_ptr<Transfer>> incoming;
    std::size_t inFlight = 0;
    bool stopping = false;
    bool workerFinished = false; // set by the worker, under the lock, once it will run nothing more
    std::atomic<std::size_t> connections{0};
    std::thread worker;

    void loop();
    bool start(Transfer& t);
    void finish(std::unique_ptr<Transfer> t, HttpResult result);
};

TransportError CurlTransport::errorFor(int curlCode, const char* detail) {
    auto code = static_cast<CURLcode>(curlCode);
    int url = urlError::unknown;
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        url = urlError::timedOut;
        break;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        url = urlError::notConnectedToInternet;
        break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
        url = urlError::secureConnectionFailed;
        break;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        url = urlError::serverCertificateUntrusted;
        break;
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_INVALIDCERTSTATUS:
        url = urlError::serverCertificateHasUnknownRoot;
        break;
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CLIENTCERT:
        url = urlError::clientCertificateRequired;
        break;
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
        url = urlError::networkConnectionLost;
        break;
    case CURLE_COULDNT_CONNECT:
        url = urlError::cannotConnectToHost;
        break;
    case CURLE_URL_MALFORMAT:
        url = urlError::badURL;
        break;
    case CURLE_UNSUPPORTED_PROTOCOL:
        url = urlError::unsupportedURL;
        break;
    default:
        break;
    }
    // libcurl's own detail names host and port; its generic text is the fallback.
    return {url, detail && *detail ? std::string(detail) : std::string(curl_easy_strerror(code))};
}

CurlTransport::CurlTransport() : CurlTransport(Options{}) {}

CurlTransport::CurlTransport(Options options) : impl(std::make_shared<Impl>()) {
    globalInit();
    impl->options = options;
    impl->multi = curl_multi_init();
    // The worker holds the state, so a transport released from inside a completion cannot pull it away.
    impl->worker = std::thread([state = impl] { state->loop(); });
}

CurlTransport::~CurlTransport() {
    shutdown();
}

void CurlTransport::shutdown() {
    {
        // Woken under the lock: the worker frees the multi handle only under it.
        std::lock_guard lock(impl->mutex);
        impl->stopping = true;
        if (impl->multi) {
            curl_multi_wakeup(impl->multi);
        }
    }
    if (!impl->worker.joinable()) {
        return;
    }
    if (impl->worker.get_id() == std::this_thread::get_id()) {
        impl->worker.detach();
    } else {
        impl->worker.join();
    }
}

void CurlTransport::send(HttpRequest request, HttpCompletion completion) {
    auto t = std::make_unique<Transfer>();
    t->request = std::move(request);
    t->completion = std::move(completion);
    t->maxBytes = impl->options.maxResponseBytes;
    {
        // While shutting down the worker still takes new requests and cancels them, so every completion runs
        // on the worker, never on the caller's thread.
        std::lock_guard lock(impl->mutex);
        if (!impl->workerFinished) {
            ++impl->inFlight;
            impl->incoming.push_back(std::move(t));
            curl_multi_wakeup(impl->multi);
            return;
        }
    }
    // The worker is gone (only reachable from code still holding a pointer into a transport being destroyed):
    // a thread of its own keeps the promise that the caller's thread never runs the completion.
    std::thread([completion = std::move(t->completion)] {
        completion(TransportError{urlError::cancelled, "cancelled"});
    }).detach();
}

void CurlTransport::download(DownloadRequest request, std::shared_ptr<RequestCancellation> cancellation,
                             HttpCompletion completion) {
    auto sink = std::make_shared<DownloadSink>();
    sink->maxBytes = request.maxBytes;
    sink->cancellation = cancellation;
    sink->file = std::fopen(request.path.c_str(), "wbe"); // "e": not inherited by the programs the app starts
    if (!sink->file) {
        TransportError error{urlError::unknown,
                             std::string("Could not create the download file: ") + std::strerror(errno)};
        std::thread([completion = std::move(completion), error] { completion(error); }).detach();
        return;
    }
    auto t = std::make_unique<Transfer>();
    t->request.method = "GET";
    t->request.url = std::move(request.url);
    t->request.timeoutSeconds = request.timeoutSeconds;
    t->download = sink;
    t->completion = [sink, completion = std::move(completion)](HttpResult result) {
        completion(downloadResult(*sink, std::move(result)));
    };
    t->maxBytes = impl->options.maxResponseBytes;
    if (cancellation) {
        cancellation->onCancel([weak = std::weak_ptr<Impl>(impl)] {
            if (auto state = weak.lock()) {
                std::lock_guard lock(state->mutex);
                if (state->multi) {
                    curl_multi_wakeup(state->multi);
                }
            }
        });
    }
    {
        std::lock_guard lock(impl->mutex);
        if (!impl->workerFinished) {
            ++impl->inFlight;
            impl->incoming.push_back(std::move(t));
            curl_multi_wakeup(impl->multi);
            return;
        }
    }
    std::thread([completion = std::move(t->completion)] {
        completion(TransportError{urlError::cancelled, "cancelled"});
    }).detach();
}

std::size_t CurlTransport::inFlight() const {
    std::lock_guard lock(impl->mutex);
    return impl->inFlight;
}

bool CurlTransport::waitIdle(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(impl->mutex);
    return impl->idle.wait_for(lock, timeout, [this] { return impl->inFlight == 0; });
}

std::size_t CurlTransport::connectionsOpened() const {
    return impl->connections.load();
}

bool CurlTransport::Impl::start(Transfer& t) {
    t.easy = curl_easy_init();
    if (!t.easy) {
        return false;
    }
    CURL* e = t.easy;
    curl_easy_setopt(e, CURLOPT_URL, t.request.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    // Redirects are followed as the platform's URL loading does (303/301/302 turn a POST into a GET).
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(e, CURLOPT_TCP_KEEPALIVE, 1L);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorBuffer);
    curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &onBody);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    // The time-out is an idle time-out, as the platform's URL loading has it: a 300 s dictation on a slow uplink
    // takes as long as it takes while bytes move; only a connection that goes quiet for that long fails.
    double timeout = t.request.timeoutSeconds > 0 ? t.request.timeoutSeconds : 60.0;
    if (options.timeoutCapSeconds > 0) {
        timeout = std::min(timeout, options.timeoutCapSeconds);
        curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(options.timeoutCapSeconds * 1000.0));
    }
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, std::max(1L, static_cast<long>(timeout * 1000.0)));
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, std::max(1L, static_cast<long>(std::ceil(timeout))));
    if (t.request.method == "GET") {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else {
        if (t.request.method != "POST") {
            curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, t.request.method.c_str());
        }
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(t.request.body.size()));
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, t.request.body.data());
    }
    for (const auto& [name, value] : t.request.headers) {
        t.headers = curl_slist_append(t.headers, (name + ": " + value).c_str());
    }
    // No "Expect: 100-continue" round trip before large uploads, and no curl-made content type.
    t.headers = curl_slist_append(t.headers, "Expect:");
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.headers);
    if (t.download) {
        setupDownload(t);
    }
    return curl_multi_add_handle(multi, e) == CURLM_OK;
}

void CurlTransport::Impl::finish(std::unique_ptr<Transfer> t, HttpResult result) {
    auto completion = std::move(t->completion);
    t.reset();
    completion(std::move(result));
    {
        std::lock_guard lock(mutex);
        --inFlight;
    }
    idle.notify_all();
}

void CurlTransport::Impl::loop() {
    std::vector<std::unique_ptr<Transfer>> running;
    while (true) {
        std::deque<std::unique_ptr<Transfer>> fresh;
        bool stop;
        {
            std::lock_guard lock(mutex);
            fresh.swap(incoming);
            stop = stopping;
        }
        if (stop) {
            for (auto& t : running) {
                curl_multi_remove_handle(multi, t->easy);
                finish(std::move(t), TransportError{urlError::cancelled, "cancelled"});
            }
            running.clear();
            // Completions may send again while we cancel: drain until nothing new arrived.
            while (true) {
                for (auto& t : fresh) {
                    finish(std::move(t), TransportError{urlError::cancelled, "cancelled"});
                }
                fresh.clear();
                std::lock_guard lock(mutex);
                if (incoming.empty()) {
                    workerFinished = true;
                    curl_multi_cleanup(multi);
                    multi = nullptr;
                    return;
                }
                fresh.swap(incoming);
            }
        }
        for (auto& t : fresh) {
            if (start(*t)) {
                running.push_back(std::move(t));
            } else {
                finish(std::move(t), TransportError{urlError::unknown, "The request could not be started"});
            }
        }
        int active = 0;
        curl_multi_perform(multi, &active);
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
            if (msg->msg != CURLMSG_DONE) {
                continue;
            }
            CURL* easy = msg->easy_handle;
            CURLcode code = msg->data.result;
            curl_multi_remove_handle(multi, easy);
            auto it = std::find_if(running.begin(), running.end(), [easy](const auto& t) { return t->easy == easy; });
            if (it == running.end()) {
                continue;
            }
            std::unique_ptr<Transfer> t = std::move(*it);
            running.erase(it);
            long connects = 0;
            curl_easy_getinfo(easy, CURLINFO_NUM_CONNECTS, &connects);
            connections += static_cast<std::size_t>(connects);
            if (code == CURLE_OK) {
                long status = 0;
                curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
                HttpResponse response{static_cast<int>(status), std::move(t->responseBody)};
                finish(std::move(t), std::move(response));
            } else {
                auto error = t->tooLarge ? TransportError{urlError::unknown, "The response is too large"}
                                         : CurlTransport::errorFor(code, t->errorBuffer);
                finish(std::move(t), std::move(error));
            }
        }
        // Idle, the worker sleeps until send() or shutdown wakes it: an idle app must not tick every second.
        curl_multi_poll(multi, nullptr, 0, running.empty() ? 3'600'000 : 1000, nullptr);
    }
}

} // namespace vokari
