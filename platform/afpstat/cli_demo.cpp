/*
 * `afpstat demo`: replaces the store's population with a plausible one, the
 * same for the same seed and time, and the generator of plausible values
 * that the simulator shares.
 */
#include "platform/afpstat/cli.h"

#include <cstdio>
#include <ctime>

namespace afpstat::cli {

namespace {

constexpr const char *kFirstNames[] = {
    "anna",  "ben",    "carla", "david", "elena", "felix", "greta", "hugo",  "ines",  "jonas",
    "karin", "lukas",  "maria", "nils",  "olga",  "paul",  "rosa",  "simon", "tanja", "uwe",
    "vera",  "walter", "yara",  "zoe",   "omar",  "li",    "priya", "mateo", "sofia", "kenji"};
constexpr const char *kLastNames[] = {
    "keller", "schmidt", "meyer",   "wagner", "becker", "hoffmann", "koch",     "richter",
    "klein",  "wolf",    "neumann", "braun",  "zimmer", "krueger",  "hartmann", "lange",
    "garcia", "nguyen",  "patel",   "tanaka", "rossi",  "novak",    "silva",    "jensen"};
constexpr const char *kGroups[] = {"Everyone",  "Staff",   "Sales",  "Engineering", "Finance",
                                   "Marketing", "Support", "Admins", "Printers",    "Remote Users"};
constexpr const char *kVolumes[] = {"SYS",      "VOL1",    "DATA",   "HOME",
                                    "PROJECTS", "ARCHIVE", "SHARED", "MEDIA"};
constexpr const char *kFolders[] = {"Projects", "Finance",   "Marketing", "Shared",
                                    "Archive",  "Templates", "Reports",   "Design"};
constexpr const char *kBaseNames[] = {"report",   "budget", "minutes", "proposal", "invoice",
                                      "contract", "slides", "notes",   "schedule", "draft",
                                      "summary",  "logo",   "photo",   "backup",   "plan"};
constexpr const char *kExtensions[] = {"doc", "docx", "xls", "xlsx", "pdf", "txt",
                                       "ppt", "jpg",  "png", "zip",  "csv", "psd"};

constexpr uint64_t kDaySeconds = uint64_t{24} * 60 * 60;

} // namespace

std::string make_user_name(Random &random) {
    return std::string(random.pick(kFirstNames)) + "." + random.pick(kLastNames);
}

std::string make_address(Random &random) {
    char text[32];
    switch (random.below(3)) {
    case 0:
        snprintf(text, sizeof text, "10.%u.%u.%u", unsigned(random.below(256)),
                 unsigned(random.below(256)), unsigned(1 + random.below(254)));
        break;
    case 1:
        snprintf(text, sizeof text, "192.168.%u.%u", unsigned(random.below(256)),
                 unsigned(1 + random.below(254)));
        break;
    default:
        snprintf(text, sizeof text, "172.16.%u.%u", unsigned(random.below(256)),
                 unsigned(1 + random.below(254)));
        break;
    }
    return text;
}

std::vector<std::string> make_equivalences(Random &random) {
    std::vector<std::string> names;
    size_t wanted = random.below(4); // some connections have none
    size_t start = random.below(std::size(kGroups));
    for (size_t i = 0; i < wanted; ++i) {
        names.emplace_back(kGroups[(start + i) % std::size(kGroups)]);
    }
    return names;
}

ConnectionRecord make_connection(Random &random, uint64_t now) {
    ConnectionRecord record;
    record.user = make_user_name(random);
    record.address = make_address(random);
    record.loginTime = now - random.below(3 * kDaySeconds);
    record.requests = static_cast<uint32_t>(random.below(50000));
    record.bytesRead = random.below(uint64_t(4) << 30);
    record.bytesWritten = random.below(uint64_t(1) << 30);
    record.loginStatus = random.chance(85) ? "Logged-In" : "Expired";
    record.privileges = random.chance(10) ? "Supervisor" : "Non-Supervisor";
    record.equivalences = make_equivalences(random);
    return record;
}

std::string make_volume_name(size_t index) {
    if (index < std::size(kVolumes)) {
        return kVolumes[index];
    }
    return "VOL" + std::to_string(index - std::size(kVolumes) + 2);
}

std::string make_path(Random &random, const std::string &volume, const std::string &user) {
    std::string path = "/" + volume + "/";
    if (random.chance(20)) {
        path += "Users/" + user + "/";
    } else {
        path += std::string(random.pick(kFolders)) + "/";
    }
    path += std::to_string(2019 + random.below(8)) + "/";
    path += random.pick(kBaseNames);
    if (random.chance(60)) {
        char number[16];
        snprintf(number, sizeof number, "-%03u", unsigned(random.below(1000)));
        path += number;
    }
    return path + "." + random.pick(kExtensions);
}

/* Replaces the population in one transaction; creates the store if needed. */
int command_demo(const Context &context, Args &args) {
    uint64_t connections = 40;
    uint64_t files = 300;
    uint64_t volumes = 4;
    uint64_t seed = 1;
    // Midnight today by default, so the same seed gives the same store all day.
    uint64_t now = static_cast<uint64_t>(time(nullptr)) / kDaySeconds * kDaySeconds;
    while (args.more()) {
        std::string arg = args.next();
        if (arg == "--connections") {
            connections = parse_unsigned(args.value(arg), 1000000, "--connections");
        } else if (arg == "--files") {
            files = parse_unsigned(args.value(arg), 10000000, "--files");
        } else if (arg == "--volumes") {
            volumes = parse_unsigned(args.value(arg), 10000, "--volumes");
        } else if (arg == "--seed") {
            seed = parse_unsigned(args.value(arg), UINT64_MAX, "--seed");
        } else if (arg == "--now") {
            now = parse_unsigned(args.value(arg), INT64_MAX, "--now");
        } else {
            throw UsageError("unknown argument " + arg);
        }
    }
    if (files > 0 && (connections == 0 || volumes == 0)) {
        throw UsageError("open files need at least one connection and one volume");
    }
    if (now < 3 * kDaySeconds) {
        throw UsageError("--now must lie after the first days of 1970");
    }

    Random random(seed);
    Store store = Store::create(context.storePath);
    Transaction transaction(store);
    store.clear_population();
    std::vector<std::string> volume_names;
    for (uint64_t i = 0; i < volumes; ++i) {
        volume_names.push_back(make_volume_name(i));
        store.add_volume(volume_names.back());
    }
    std::vector<std::pair<uint32_t, std::string>> owners; // number, user
    uint32_t number = 0;
    for (uint64_t i = 0; i < connections; ++i) {
        number += static_cast<uint32_t>(1 + random.below(3)); // numbers with gaps, as in life
        ConnectionRecord record = make_connection(random, now);
        record.number = number;
        store.add_connection(record);
        owners.emplace_back(number, record.user);
    }
    for (uint64_t i = 0; i < files; ++i) {
        const auto &owner = owners[random.below(owners.size())];
        const std::string &volume = volume_names[random.below(volume_names.size())];
        store.open_file(owner.first, volume, make_path(random, volume, owner.second));
    }
    transaction.commit();
    printf("%llu connections, %llu open files on %llu volumes\n", (unsigned long long)connections,
           (unsigned long long)files, (unsigned long long)volumes);
    return 0;
}

} // namespace afpstat::cli
