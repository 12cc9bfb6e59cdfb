// Conversations in Redis, so that every instance of the server answers every conversation and a
// restart forgets none. Each conversation is one hash: its bytes and a version. An answer reads
// it, works on it, and writes it back through a script that refuses the write when another
// answer came between, so that neither overwrites the other: the loser works again on the newer
// state. That is two round trips an answer when nothing collides. Connections come from a small
// pool of hiredis's synchronous ones, each request's thread taking its own.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store.h"

struct redisContext;

namespace qvbot {

struct RedisAddress {
    std::string host;
    int port = 6379;
    int db = 0;
};
// "redis://HOST:PORT[/DB]" (PORT may be left out); nullopt for anything else.
std::optional<RedisAddress> ParseRedisUrl(const std::string& url);

struct RedisSettings {
    RedisAddress address;
    std::string password;  // "" when Redis asks for none
    std::chrono::milliseconds forget_after{std::chrono::hours(24 * 30)};
    // One connection attempt or one command at most; an answer that cannot be kept within a
    // few of them is refused rather than held.
    std::chrono::milliseconds timeout{500};
};

class RedisStore final : public ConversationStore {
  public:
    explicit RedisStore(RedisSettings settings);
    ~RedisStore() override;
    std::optional<std::string> Answer(const std::string& botid, const std::string& token,
                                      const Respond& respond) override;
    bool Healthy() override;
    // Round trips to Redis so far, for the benchmarks.
    std::uint64_t RoundTrips() const { return round_trips_; }

  private:
    struct Free {
        void operator()(redisContext* context) const;
    };
    using Connection = std::unique_ptr<redisContext, Free>;
    struct Reply;

    // A connection from the pool or a new one; null (and the store down for a moment) when
    // Redis cannot be reached.
    Connection Take(bool& reused);
    void Give(Connection connection);
    // Runs one command; null on a lost connection or a timeout, after which the connection
    // is not given back.
    std::unique_ptr<Reply> Command(redisContext* context, const std::vector<std::string>& args);
    // Runs `work` on a connection, once more on a new one when a pooled connection has gone
    // stale (Redis restarted). False when Redis cannot be reached.
    template <typename Work>
    bool WithConnection(Work work);
    bool Down();
    void MarkDown();

    const RedisSettings settings_;
    sync::Mutex mutex_;
    std::vector<Connection> idle_;
    std::atomic<std::int64_t> down_until_{0};  // steady clock, in ms: fail at once until then
    std::atomic<std::uint64_t> round_trips_{0};
};

}  // namespace qvbot
