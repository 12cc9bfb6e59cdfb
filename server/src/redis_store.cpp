#include "redis_store.h"

#include <hiredis/hiredis.h>

#include <cstdio>
#include <cstdlib>
#include <regex>

namespace qvbot {

namespace {

// Writes the new state only if the version is still the one read; otherwise returns the newer
// version and state, so the loser needs no further read. The expiry slides with every answer.
constexpr char kWriteScript[] = R"(
local held = redis.call('HGET', KEYS[1], 'v') or '0'
if held ~= ARGV[1] then
  return {0, held, redis.call('HGET', KEYS[1], 'c') or ''}
end
redis.call('HSET', KEYS[1], 'v', tostring(tonumber(held) + 1), 'c', ARGV[2])
redis.call('PEXPIRE', KEYS[1], ARGV[3])
return {1}
)";

// Answers of one conversation at the same moment rarely collide more than a few times; past
// this many collisions, or past a few timeouts' time, the answer is refused as busy rather than
// looped on.
constexpr int kMaxWrites = 32;
constexpr int kTimeoutsPerAnswer = 4;
// After Redis could not be reached, requests are refused at once for this long, so a dead Redis
// costs each of them no connection attempt; short, so the store is back soon after Redis is.
constexpr std::chrono::milliseconds kDownFor{200};

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

timeval TimeVal(std::chrono::milliseconds ms) {
    return {static_cast<decltype(timeval::tv_sec)>(ms.count() / 1000),
            static_cast<decltype(timeval::tv_usec)>(ms.count() % 1000 * 1000)};
}

// The bot's id is measured, so that no id and token can name another pair's key.
std::string Key(const std::string& botid, const std::string& token) {
    return "qvbot:" + std::to_string(botid.size()) + ":" + botid + ":" + token;
}

}  // namespace

struct RedisStore::Reply {
    redisReply* reply;
    ~Reply() { freeReplyObject(reply); }
};

void RedisStore::Free::operator()(redisContext* context) const {
    redisFree(context);
}

std::optional<RedisAddress> ParseRedisUrl(const std::string& url) {
    static const std::regex form(R"(redis://([A-Za-z0-9.\-]+)(?::(\d{1,5}))?(?:/(\d{1,4}))?/?)");
    std::smatch match;
    if (!std::regex_match(url, match, form)) return {};
    RedisAddress address;
    address.host = match[1];
    if (match[2].matched) address.port = std::atoi(match[2].str().c_str());
    if (match[3].matched) address.db = std::atoi(match[3].str().c_str());
    if (address.port < 1 || address.port > 65535) return {};
    return address;
}

RedisStore::RedisStore(RedisSettings settings) : settings_(std::move(settings)) {}
RedisStore::~RedisStore() = default;

bool RedisStore::Down() {
    return NowMs() < down_until_;
}

void RedisStore::MarkDown() {
    down_until_ = NowMs() + kDownFor.count();
    // Whatever is idle went with Redis too.
    const std::lock_guard lock(mutex_);
    idle_.clear();
}

RedisStore::Connection RedisStore::Take(bool& reused) {
    {
        const std::lock_guard lock(mutex_);
        reused = !idle_.empty();
        if (reused) {
            Connection connection = std::move(idle_.back());
            idle_.pop_back();
            return connection;
        }
    }
    const auto& address = settings_.address;
    Connection connection(
        redisConnectWithTimeout(address.host.c_str(), address.port, TimeVal(settings_.timeout)));
    if (!connection || connection->err ||
        redisSetTimeout(connection.get(), TimeVal(settings_.timeout)) != REDIS_OK) {
        return nullptr;
    }
    const auto ok = [&](std::vector<std::string> args) {
        const auto reply = Command(connection.get(), args);
        return reply && reply->reply->type != REDIS_REPLY_ERROR;
    };
    if (!settings_.password.empty() && !ok({"AUTH", settings_.password})) {
        std::fprintf(stderr, "quorvanel-botserver: Redis refused the password\n");
        return nullptr;
    }
    if (address.db != 0 && !ok({"SELECT", std::to_string(address.db)})) return nullptr;
    return connection;
}

void RedisStore::Give(Connection connection) {
    const std::lock_guard lock(mutex_);
    idle_.push_back(std::move(connection));
}

std::unique_ptr<RedisStore::Reply> RedisStore::Command(redisContext* context,
                                                       const std::vector<std::string>& args) {
    std::vector<const char*> argv;
    std::vector<std::size_t> sizes;
    for (const auto& arg : args) {
        argv.push_back(arg.data());
        sizes.push_back(arg.size());
    }
    ++round_trips_;
    auto* reply = static_cast<redisReply*>(
        redisCommandArgv(context, static_cast<int>(argv.size()), argv.data(), sizes.data()));
    if (!reply) return nullptr;
    return std::unique_ptr<Reply>(new Reply{reply});
}

template <typename Work>
bool RedisStore::WithConnection(Work work) {
    if (Down()) return false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        bool reused = false;
        Connection connection = Take(reused);
        if (!connection) break;
        if (work(connection.get())) {
            Give(std::move(connection));
            return true;
        }
        // A server-side error leaves the connection usable; a lost one does not.
        if (!connection->err) return false;
        if (!reused) break;
        // The rest of the pool is as stale (Redis restarted): one more try on a new connection.
        const std::lock_guard lock(mutex_);
        idle_.clear();
    }
    MarkDown();
    return false;
}

std::optional<std::string> RedisStore::Answer(const std::string& botid, const std::string& token,
                                              const Respond& respond) {
    const std::string key = Key(botid, token);
    std::optional<std::string> answer;
    const bool reached = WithConnection([&](redisContext* context) {
        auto reply = Command(context, {"HMGET", key, "v", "c"});
        if (!reply || reply->reply->type != REDIS_REPLY_ARRAY || reply->reply->elements != 2)
            return false;
        const auto text = [](const redisReply* r) {
            return r->type == REDIS_REPLY_STRING ? std::string(r->str, r->len) : std::string();
        };
        std::string version = text(reply->reply->element[0]);
        std::string state = text(reply->reply->element[1]);
        if (version.empty()) version = "0";
        const auto until =
            std::chrono::steady_clock::now() + kTimeoutsPerAnswer * settings_.timeout;
        for (int write = 0; write < kMaxWrites && std::chrono::steady_clock::now() < until;
             ++write) {
            Conversation conversation;
            conversation.id = token;
            // A new conversation, or one whose bytes are damaged, starts afresh.
            if (state.empty() || !RestoreConversation(state, conversation)) {
                conversation = Conversation{};
                conversation.id = token;
                conversation.random = std::hash<std::string>{}(key);
            }
            std::string said = respond(conversation);
            reply = Command(
                context, {"EVAL", kWriteScript, "1", key, version, SaveConversation(conversation),
                          std::to_string(settings_.forget_after.count())});
            if (!reply || reply->reply->type != REDIS_REPLY_ARRAY || reply->reply->elements < 1)
                return false;
            const redisReply* const* parts = reply->reply->element;
            if (parts[0]->type == REDIS_REPLY_INTEGER && parts[0]->integer == 1) {
                answer = std::move(said);
                return true;
            }
            if (reply->reply->elements != 3) return false;
            version = text(parts[1]);
            state = text(parts[2]);
        }
        return true;  // collided every time: busy, though the connection is fine
    });
    return reached ? answer : std::nullopt;
}

bool RedisStore::Healthy() {
    return WithConnection([&](redisContext* context) {
        const auto reply = Command(context, {"PING"});
        return reply && reply->reply->type == REDIS_REPLY_STATUS;
    });
}

}  // namespace qvbot
