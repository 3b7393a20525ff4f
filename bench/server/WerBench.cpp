// Word error rate of the server's whole-file transcription against stock pocketsphinx on the same audio.
//
//   vokari_server_wer DEVSET.tsv [--every N] [--flite] [--only SOURCE] [--stock-off] [--stream]
//                     [--prime MS] [--set -name value]...
//
// DEVSET.tsv is what bench/server/devset.py writes (source, wav path, transcript). --every N keeps every
// Nth utterance of each source of more than 50; --flite adds speech synthesised with flite as a separate column; --set
// overrides one decoder setting of the server engine (for tuning runs); --raw turns off the server's audio
// conditioning. Both engines run at once on two threads; the real-time factor is each thread's CPU
// time over the audio's duration, so other load on the machine does not distort it.
// --stream adds the streaming path (/process/stream) beside it: the same engine settings, the audio fed in
// 100 ms blocks, with its word error rate and the CPU time finish() takes after the last block (the work
// left when the user stops speaking); --prime sets how much audio a stream waits for before decoding, --pause
// how much silence after the 0.25 s margin closes a stream's utterance, --long-pause MS1 MS2 the shorter silence
// (MS2) that closes it once it holds MS1 of audio.
// --join SECONDS joins each source's consecutive recordings into utterances of at least that length (their
// transcripts joined too), to measure long dictations with the pauses real speakers leave between sentences.
// --tail SECONDS instead joins the set's real recordings into one utterance of that length and prints the
// work after its last block (median of 3) for a stream, beside the whole-file decode of the same audio.
#include "audio/WavReader.h"
#include "stt/CommandGrammar.h"
#include "stt/PocketSphinxEngine.h"
#include "stt/SpeechStream.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

using namespace vokari::server;

namespace {

struct Utterance {
    std::string source, path, text;
    PcmAudio audio;
};

struct Tally {
    size_t words = 0, errors = 0, utterances = 0;
    double audioSeconds = 0, cpuSeconds = 0;
    std::vector<double> tailMs; // streaming: CPU time of finish()
    void add(const Tally& o) {
        tailMs.insert(tailMs.end(), o.tailMs.begin(), o.tailMs.end());
        words += o.words;
        errors += o.errors;
        utterances += o.utterances;
        audioSeconds += o.audioSeconds;
        cpuSeconds += o.cpuSeconds;
    }
};

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string lowerWords(const std::string& text) {
    std::string out;
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        out.push_back(std::isalpha(u) || c == '\'' ? static_cast<char>(std::tolower(u)) : ' ');
    }
    return out;
}

std::string fliteWavBytes(const std::string& text) {
    std::string cmd = "flite -voice slt -t '" + text +
                      "' -o /dev/stdout | sox -t wav - -r 16000 -c 1 -b 16 -e signed-integer -t wav -";
    FILE* pipe = popen(cmd.c_str(), "r");
    std::string bytes;
    char buffer[65536];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        bytes.append(buffer, n);
    }
    if (pipe) {
        pclose(pipe);
    }
    return bytes;
}

const std::vector<std::string> kFliteSentences = {
    "the quick brown fox jumps over the lazy dog",
    "please schedule a meeting with the marketing team for next tuesday afternoon",
    "i think we should review the budget before the end of the quarter",
    "can you send me the latest version of the report by email",
    "the weather today is sunny with a chance of rain in the evening",
    "remember to buy milk eggs and bread on the way home",
    "our new product launch was a big success with customers",
    "let me know if you have any questions about the project timeline",
    "we need to finish the presentation slides before friday morning",
    "thank you for your help with the customer support tickets this week",
    "the train to the city leaves at half past seven every day",
    "could you please call me back when you have a free moment",
};

bool gCommandFirst = false; // decode each clip in command mode first, as /command does before dictation

// The streaming path: 100 ms blocks as the app sends them; `tailMs` gets the CPU time of finish().
SttResult streamed(PocketSphinxEngine& engine, const PcmAudio& audio, double& tailMs) {
    constexpr size_t kBlock = 1600;
    auto stream = engine.openStream({});
    for (size_t pos = 0; pos < audio.samples.size(); pos += kBlock) {
        stream->feed(audio.samples.data() + pos, std::min(kBlock, audio.samples.size() - pos));
    }
    double before = threadCpuSeconds();
    auto result = stream->finish();
    tailMs = 1000.0 * (threadCpuSeconds() - before);
    return result;
}

std::map<std::string, Tally> run(PocketSphinxEngine& engine, const std::vector<Utterance>& set,
                                 std::vector<std::string>& hyps, bool streaming = false) {
    std::map<std::string, Tally> tallies;
    hyps.resize(set.size());
    for (size_t i = 0; i < set.size(); ++i) {
        const auto& u = set[i];
        if (gCommandFirst) {
            engine.transcribe(u.audio, {}, SttMode::command);
        }
        double before = threadCpuSeconds(), tailMs = 0;
        auto result =
            streaming ? streamed(engine, u.audio, tailMs) : engine.transcribe(u.audio, {}, SttMode::dictation);
        double cpu = threadCpuSeconds() - before;
        hyps[i] = std::holds_alternative<SttText>(result) ? std::get<SttText>(result).text : "<failed>";
        Tally& t = tallies[u.source];
        if (streaming) {
            t.tailMs.push_back(tailMs);
        }
        t.words += wordDistance("", u.text);
        t.errors += wordDistance(u.text, lowerWords(hyps[i]));
        t.utterances += 1;
        t.audioSeconds += u.audio.seconds();
        t.cpuSeconds += cpu;
    }
    return tallies;
}

std::unique_ptr<PocketSphinxEngine> makeEngine(PocketSphinxConfig config) {
    config.decoders = 1;
    auto created = PocketSphinxEngine::create(config);
    if (auto* err = std::get_if<std::string>(&created)) {
        std::cerr << *err << "\n";
        std::exit(1);
    }
    return std::move(std::get<std::unique_ptr<PocketSphinxEngine>>(created));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: vokari_server_wer DEVSET.tsv [--every N] [--flite] [--only SOURCE] [--stock-off] "
                     "[--raw] [--verbose] [--set -name value]...\n";
        return 2;
    }
    size_t every = 1;
    bool flite = false, stock = true, verbose = false, streaming = false;
    double tailSeconds = 0, joinSeconds = 0;
    std::string only;
    PocketSphinxConfig tuned;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--every" && i + 1 < argc) {
            every = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--flite") {
            flite = true;
        } else if (a == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (a == "--stream") {
            streaming = true;
        } else if (a == "--tail" && i + 1 < argc) {
            tailSeconds = std::atof(argv[++i]);
        } else if (a == "--join" && i + 1 < argc) {
            joinSeconds = std::atof(argv[++i]);
        } else if (a == "--pause" && i + 1 < argc) {
            tuned.streamPauseSplitMs = std::atoi(argv[++i]);
        } else if (a == "--long-pause" && i + 2 < argc) {
            tuned.streamLongUtteranceMs = std::atoi(argv[++i]);
            tuned.streamLongPauseSplitMs = std::atoi(argv[++i]);
        } else if (a == "--prime" && i + 1 < argc) {
            tuned.streamPrimeMs = std::atoi(argv[++i]);
        } else if (a == "--stock-off") {
            stock = false;
        } else if (a == "--raw") {
            tuned.conditionAudio = false;
        } else if (a == "--command-first") {
            gCommandFirst = true;
        } else if (a == "--verbose") {
            verbose = true;
        } else if (a == "--set" && i + 2 < argc) {
            std::string name = argv[++i], value = argv[++i];
            auto it = std::find_if(tuned.tuning.begin(), tuned.tuning.end(),
                                   [&](const auto& kv) { return kv.first == name; });
            if (it != tuned.tuning.end()) {
                it->second = value;
            } else {
                tuned.tuning.emplace_back(name, value);
            }
        } else {
            std::cerr << "unknown argument " << a << "\n";
            return 2;
        }
    }

    std::vector<Utterance> listed;
    std::map<std::string, size_t> perSource;
    std::ifstream list(argv[1]);
    for (std::string line; std::getline(list, line);) {
        std::istringstream fields(line);
        Utterance u;
        if (std::getline(fields, u.source, '\t') && std::getline(fields, u.path, '\t') &&
            std::getline(fields, u.text) && (only.empty() || u.source == only)) {
            perSource[u.source] += 1;
            listed.push_back(std::move(u));
        }
    }
    // --every thins out the large sources only; the small ones are too few to sample.
    std::vector<Utterance> set;
    std::map<std::string, size_t> seen;
    for (auto& u : listed) {
        if (perSource[u.source] > 50 && seen[u.source]++ % every != 0) {
            continue;
        }
        auto wav = readWav(slurp(u.path));
        if (auto* audio = std::get_if<PcmAudio>(&wav)) {
            u.audio = std::move(*audio);
            set.push_back(std::move(u));
        } else {
            std::cerr << u.path << ": " << std::get<WavError>(wav).message << "\n";
        }
    }
    if (flite) {
        for (const auto& s : kFliteSentences) {
            auto wav = readWav(fliteWavBytes(s));
            if (auto* audio = std::get_if<PcmAudio>(&wav)) {
                set.push_back(Utterance{"flite (synthetic)", "", s, std::move(*audio)});
            }
        }
    }
    if (joinSeconds > 0) {
        std::vector<Utterance> joined;
        for (auto& u : set) {
            if (joined.empty() || joined.back().source != u.source || joined.back().audio.seconds() >= joinSeconds) {
                joined.push_back(std::move(u));
                continue;
            }
            auto& j = joined.back();
            j.audio.samples.insert(j.audio.samples.end(), u.audio.samples.begin(), u.audio.samples.end());
            j.text += " " + u.text;
        }
        set = std::move(joined);
    }
    if (set.empty()) {
        std::cerr << "no utterances\n";
        return 1;
    }
    if (tailSeconds > 0) {
        PcmAudio joined;
        for (size_t i = 0; joined.seconds() < tailSeconds; i = (i + 1) % set.size()) {
            joined.samples.insert(joined.samples.end(), set[i].audio.samples.begin(), set[i].audio.samples.end());
        }
        joined.samples.resize(static_cast<size_t>(tailSeconds * PcmAudio::kSampleRate));
        auto engine = makeEngine(tuned);
        std::vector<double> tails, wholes;
        for (int i = 0; i < 3; ++i) {
            double tail = 0, before = threadCpuSeconds();
            streamed(*engine, joined, tail);
            tails.push_back(tail);
            before = threadCpuSeconds();
            engine->transcribe(joined, {}, SttMode::dictation);
            wholes.push_back(1000.0 * (threadCpuSeconds() - before));
        }
        std::sort(tails.begin(), tails.end());
        std::sort(wholes.begin(), wholes.end());
        std::printf("%.0f s utterance: stream work after the last block %.0f ms CPU; whole-file decode %.0f ms CPU\n",
                    tailSeconds, tails[1], wholes[1]);
        return 0;
    }

    PocketSphinxConfig stockConfig;
    stockConfig.tuned = false;
    stockConfig.conditionAudio = false;
    auto ours = makeEngine(tuned);
    auto theirs = stock ? makeEngine(stockConfig) : nullptr;
    auto streamer = streaming ? makeEngine(tuned) : nullptr;
    std::vector<std::string> oursHyp, stockHyp, streamHyp;
    std::map<std::string, Tally> oursTally, stockTally, streamTally;
    std::thread stockThread([&] {
        if (theirs) {
            stockTally = run(*theirs, set, stockHyp);
        }
    });
    std::thread streamThread([&] {
        if (streamer) {
            streamTally = run(*streamer, set, streamHyp, true);
        }
    });
    oursTally = run(*ours, set, oursHyp);
    stockThread.join();
    streamThread.join();

    if (verbose) {
        for (size_t i = 0; i < set.size(); ++i) {
            std::cout << "ref:   " << set[i].text << "\nours:  " << oursHyp[i] << "\n";
            if (theirs) {
                std::cout << "stock: " << stockHyp[i] << "\n";
            }
            if (streamer) {
                std::cout << "strm:  " << streamHyp[i] << "\n";
            }
        }
    }
    auto row = [](const std::string& name, const Tally& o, const Tally& s, bool withStock) {
        std::printf("| %-18s | %5zu | %6zu | %7.1f | %6.1f %% | %5.3f |", name.c_str(), o.utterances, o.words,
                    o.audioSeconds, 100.0 * double(o.errors) / double(std::max<size_t>(1, o.words)),
                    o.cpuSeconds / std::max(1e-9, o.audioSeconds));
        if (withStock) {
            double ow = double(o.errors), sw = double(s.errors);
            std::printf(" %6.1f %% | %5.3f | %+5.0f %% |", 100.0 * sw / double(std::max<size_t>(1, s.words)),
                        s.cpuSeconds / std::max(1e-9, s.audioSeconds), sw > 0 ? 100.0 * (ow - sw) / sw : 0.0);
        }
        std::printf("\n");
    };
    std::printf("| source             | utts  | words  | audio s | server WER | RTF   |%s\n",
                theirs ? " stock WER | RTF   | errors vs stock |" : "");
    std::printf("|---|---|---|---|---|---|%s\n", theirs ? "---|---|---|" : "");
    Tally oursReal, stockReal;
    for (const auto& [source, t] : oursTally) {
        row(source, t, stockTally[source], theirs != nullptr);
        if (source.rfind("flite", 0) != 0) {
            oursReal.add(t);
            stockReal.add(stockTally[source]);
        }
    }
    row("all real speech", oursReal, stockReal, theirs != nullptr);
    if (streamer) {
        auto wer = [](const Tally& t) { return 100.0 * double(t.errors) / double(std::max<size_t>(1, t.words)); };
        auto streamRow = [&](const std::string& name, const Tally& whole, Tally stream) {
            std::sort(stream.tailMs.begin(), stream.tailMs.end());
            double median = stream.tailMs.empty() ? 0 : stream.tailMs[stream.tailMs.size() / 2];
            double worst = stream.tailMs.empty() ? 0 : stream.tailMs.back();
            std::printf("| %-18s | %6.1f %% | %6.1f %% | %5.3f | %7.1f | %7.1f |\n", name.c_str(), wer(whole),
                        wer(stream), stream.cpuSeconds / std::max(1e-9, stream.audioSeconds), median, worst);
        };
        std::printf("\n| source             | whole WER | stream WER | RTF   | tail ms median | tail ms max |\n");
        std::printf("|---|---|---|---|---|---|\n");
        Tally streamReal;
        for (const auto& [source, t] : streamTally) {
            streamRow(source, oursTally[source], t);
            if (source.rfind("flite", 0) != 0) {
                streamReal.add(t);
            }
        }
        streamRow("all real speech", oursReal, streamReal);
    }
    return 0;
}
