// The stand-in model as a program, for the tests under Wine and the benchmark:
// model-standin PORT_FILE [DELAY_MS [LIFETIME_S]]. It listens on a free loopback port, writes it
// to PORT_FILE, and ends after LIFETIME_S seconds (default 300) should nobody stop it.
#include <cstdio>
#include <cstdlib>

#include "model_standin.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: model-standin PORT_FILE [DELAY_MS [LIFETIME_S]]\n");
        return 2;
    }
    qvbot::testing::StandInSettings settings;
    if (argc > 2) settings.delay = std::chrono::milliseconds(std::atoi(argv[2]));
    const int lifetime = argc > 3 ? std::atoi(argv[3]) : 300;
    web::Handler handler;
    web::Server server(
        [&handler](const web::Request& r, web::Reply reply) { handler(r, std::move(reply)); },
        web::Limits{}, 2);
    handler = qvbot::testing::StandInModel(server, settings);
    std::string error;
    if (!server.Listen("127.0.0.1", 0, error)) {
        std::fprintf(stderr, "model-standin: %s\n", error.c_str());
        return 1;
    }
    std::FILE* file = std::fopen(argv[1], "w");
    if (!file || std::fprintf(file, "%d\n", server.Port()) < 0 || std::fclose(file) != 0) return 1;
    server.After(std::chrono::seconds(lifetime), [&server] { server.Stop(); });
    server.Run();
    return 0;
}
