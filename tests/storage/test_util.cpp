// Helpers of the storage tests (see test_util.h).
#include "tests/storage/test_util.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

namespace tu {

Result run(const std::string &command) {
    std::string cmd = command + " 2>&1";
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) throw std::runtime_error("cannot run " + command);
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    int status = pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string quote(const std::string &s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

TempDir::TempDir() {
    char tmpl[] = "/tmp/zefo5-storage-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
    dir = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

std::vector<uint8_t> readFile(const std::string &path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::vector<uint8_t> data((size_t)in.tellg());
    in.seekg(0);
    in.read((char *)data.data(), (std::streamsize)data.size());
    if (!in) throw std::runtime_error("cannot read " + path);
    return data;
}

void writeFile(const std::string &path, const std::vector<uint8_t> &data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write((const char *)data.data(), (std::streamsize)data.size());
    if (!out) throw std::runtime_error("cannot write " + path);
}

void writeText(const std::string &path, const std::string &text) {
    writeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto &b : v) b = (uint8_t)rng();
    return v;
}

bool fsckClean(const std::string &image, std::string *report) {
    Result r = run("fsck.fat -n " + quote(image));
    if (report) *report = r.out;
    int lines = (int)std::count(r.out.begin(), r.out.end(), '\n');
    return r.status == 0 && lines <= 2;
}

void mkfs(const std::string &image, uint32_t kib, const std::string &extra) {
    std::filesystem::remove(image);
    Result r = run("mkfs.fat -C " + extra + " " + quote(image) + " " + std::to_string(kib));
    if (r.status != 0) throw std::runtime_error("mkfs.fat: " + r.out);
}

void mcopyIn(const std::string &image, const std::string &hostFile, const std::string &cardPath) {
    Result r = run("mcopy -o -i " + quote(image) + " " + quote(hostFile) + " " + quote("::" + cardPath));
    if (r.status != 0) throw std::runtime_error("mcopy: " + r.out);
}

std::vector<uint8_t> mcopyOut(const std::string &image, const std::string &cardPath) {
    TempDir t;
    std::string out = t / "out";
    Result r = run("mcopy -n -i " + quote(image) + " " + quote("::" + cardPath) + " " + quote(out));
    if (r.status != 0) throw std::runtime_error("mcopy out " + cardPath + ": " + r.out);
    return readFile(out);
}

std::string mdirNames(const std::string &image, const std::string &cardDir) {
    Result r = run("mdir -b -i " + quote(image) + " " + quote("::" + cardDir));
    if (r.status != 0) throw std::runtime_error("mdir: " + r.out);
    std::vector<std::string> names;
    std::istringstream in(r.out);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '/') line.pop_back(); // a directory
        size_t cut = line.find_last_of('/');
        std::string name = cut == std::string::npos ? line : line.substr(cut + 1);
        if (!name.empty()) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::string all;
    for (auto &n : names) all += n + "\n";
    return all;
}

} // namespace tu
