#include "release_manifest.h"

#include "file_bytes.h"
#include "manifest_signature.h"
#include "sha256.h"
#include "utf8_text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <optional>

namespace knot::station {
namespace {

constexpr std::size_t MANIFEST_LIMIT = 16u << 20;
constexpr std::size_t KEY_LIMIT = 64u << 10;
constexpr std::size_t SIGNATURE_LIMIT = 4u << 10;
constexpr std::size_t HASH_DIGITS = 64;
constexpr std::size_t LISTED_SHOWN = 8; // a refusal names at most this many listed images

ManifestLoad Problem(ManifestProblem problem, std::string message) {
    ManifestLoad load;
    load.problem = problem;
    load.message = std::move(message);
    return load;
}

std::optional<std::string> LowerHash(const nlohmann::json& value) {
    if (!value.is_string() || value.get_ref<const std::string&>().size() != HASH_DIGITS) {
        return std::nullopt;
    }
    std::string hash = value.get<std::string>();
    for (char& digit : hash) {
        if (!std::isxdigit(static_cast<unsigned char>(digit))) {
            return std::nullopt;
        }
        digit = static_cast<char>(std::tolower(static_cast<unsigned char>(digit)));
    }
    return hash;
}

// The entry at `index`, or what is wrong with it in `why`.
std::optional<ManifestEntry> ReadEntry(const nlohmann::json& item, std::size_t index,
                                       std::string& why) {
    const std::string at = "images[" + std::to_string(index) + "]";
    if (!item.is_object()) {
        why = at + " is not an object";
        return std::nullopt;
    }
    ManifestEntry entry;
    for (auto [field, target] : {std::pair{"model", &entry.model}, std::pair{"name", &entry.name},
                                 std::pair{"version", &entry.version}}) {
        const auto found = item.find(field);
        if (found == item.end() || !found->is_string() ||
            found->get_ref<const std::string&>().empty()) {
            why = at + "." + field + " is not a non-empty string";
            return std::nullopt;
        }
        *target = found->get<std::string>();
    }
    const auto hash = item.find("sha256");
    std::optional<std::string> lower = hash == item.end() ? std::nullopt : LowerHash(*hash);
    if (!lower) {
        why = at + ".sha256 is not 64 hexadecimal digits";
        return std::nullopt;
    }
    entry.sha256 = *lower;
    return entry;
}

// The entries of the parsed manifest, or what is wrong with its shape in `why`.
std::optional<std::vector<ManifestEntry>> ReadEntries(const nlohmann::json& root,
                                                      std::string& why) {
    if (!root.is_object()) {
        why = "it is not a JSON object";
        return std::nullopt;
    }
    const auto images = root.find("images");
    if (images == root.end() || !images->is_array()) {
        why = "\"images\" is not an array";
        return std::nullopt;
    }
    std::vector<ManifestEntry> entries;
    for (std::size_t index = 0; index < images->size(); ++index) {
        std::optional<ManifestEntry> entry = ReadEntry((*images)[index], index, why);
        if (!entry) {
            return std::nullopt;
        }
        const auto same = std::find_if(entries.begin(), entries.end(), [&](const auto& other) {
            return other.model == entry->model && other.sha256 == entry->sha256;
        });
        if (same != entries.end()) {
            why = "images[" + std::to_string(index) + "] lists the same image for model " +
                  entry->model + " as images[" + std::to_string(same - entries.begin()) + "]";
            return std::nullopt;
        }
        entries.push_back(std::move(*entry));
    }
    return entries;
}

// Checks FILE.sig against `keyPath`; the problem, or a load with none.
ManifestLoad CheckSignature(const std::string& bytes, const std::string& path,
                            const std::string& keyPath) {
    std::string key, why;
    if (!ReadFileBytes(keyPath, KEY_LIMIT, key, why)) {
        return Problem(ManifestProblem::KeyUnreadable,
                       "cannot read the manifest key " + ShownText(keyPath) + ": " + why);
    }
    const std::string signaturePath = SignaturePath(path);
    std::string signature;
    int error = 0;
    if (!ReadFileBytes(signaturePath, SIGNATURE_LIMIT, signature, why, &error)) {
        if (error == ENOENT) {
            return Problem(ManifestProblem::SignatureMissing,
                           "the release manifest " + ShownText(path) + " is not signed: " +
                               ShownText(signaturePath) + " is missing, and a manifest key (" +
                               ShownText(keyPath) + ") requires its signature");
        }
        return Problem(ManifestProblem::SignatureUnreadable,
                       "cannot read the manifest's signature " + ShownText(signaturePath) + ": " +
                           why);
    }
    switch (VerifyP256Signature(key, bytes, signature)) {
    case SignatureVerdict::Good:
        return {};
    case SignatureVerdict::KeyNotP256:
        return Problem(ManifestProblem::KeyNotP256,
                       "the manifest key " + ShownText(keyPath) +
                           " is not an ECDSA P-256 public key in PEM form (as \"openssl ec "
                           "-pubout\" writes it)");
    case SignatureVerdict::Bad:
        return Problem(ManifestProblem::SignatureBad,
                       "the release manifest " + ShownText(path) +
                           " does not match its signature " + ShownText(signaturePath) +
                           ": it was changed after it was signed, or signed with another key "
                           "than " +
                           ShownText(keyPath));
    case SignatureVerdict::SystemFailure:
        break;
    }
    return Problem(ManifestProblem::CryptoFailed,
                   "the signature of the release manifest " + ShownText(path) +
                       " could not be checked: the system's cryptography failed");
}

std::string Listed(const ManifestEntry& entry) {
    return entry.sha256 + " (" + ShownText(entry.name) + " " + ShownText(entry.version) + ")";
}

} // namespace

std::string SignaturePath(const std::string& path) {
    return path + ".sig";
}

ManifestLoad ParseReleaseManifest(std::string_view bytes, const std::string& path) {
    nlohmann::json root;
    try {
        root = nlohmann::json::parse(bytes);
    } catch (const nlohmann::json::parse_error& error) {
        // "[json.exception.parse_error.101] parse error at line 1, column 2: ..." without its tag.
        std::string what = error.what();
        const std::size_t tag = what.find("] ");
        return Problem(ManifestProblem::NotJson,
                       "the release manifest " + ShownText(path) + " is not valid JSON: " +
                           (tag == std::string::npos ? what : what.substr(tag + 2)));
    }
    std::string why;
    std::optional<std::vector<ManifestEntry>> entries = ReadEntries(root, why);
    if (!entries) {
        return Problem(ManifestProblem::NotAManifest, "the release manifest " + ShownText(path) +
                                                          " is not a release manifest: " + why);
    }
    ManifestLoad load;
    load.manifest.path = path;
    load.manifest.images = std::move(*entries);
    Sha256 digest;
    digest.Update(bytes.data(), bytes.size());
    std::optional<std::string> hex = digest.HexDigest();
    if (!hex) {
        return Problem(ManifestProblem::CryptoFailed,
                       "the SHA-256 of the release manifest " + ShownText(path) +
                           " could not be computed: the system's cryptography failed");
    }
    load.manifest.sha256 = *hex;
    return load;
}

ManifestLoad LoadReleaseManifest(const std::string& path, const std::string& keyPath) {
    std::string bytes, why;
    if (!ReadFileBytes(path, MANIFEST_LIMIT, bytes, why)) {
        return Problem(ManifestProblem::FileUnreadable,
                       "cannot read the release manifest " + ShownText(path) + ": " + why);
    }
    // The signature first: the shape of bytes nobody vouches for is not worth reporting.
    if (!keyPath.empty()) {
        ManifestLoad signature = CheckSignature(bytes, path, keyPath);
        if (signature.problem != ManifestProblem::None) {
            return signature;
        }
    }
    ManifestLoad load = ParseReleaseManifest(bytes, path);
    load.manifest.signatureChecked = load.problem == ManifestProblem::None && !keyPath.empty();
    return load;
}

ReleaseLookup FindReleasedImage(const ReleaseManifest& manifest, std::string_view model,
                                std::string_view imageSha256, std::string_view imageName) {
    ReleaseLookup release;
    std::vector<const ManifestEntry*> forModel;
    const ManifestEntry* elsewhere = nullptr;
    for (const ManifestEntry& entry : manifest.images) {
        if (entry.model == model && entry.sha256 == imageSha256) {
            release.entry = &entry;
            return release;
        }
        if (entry.model == model) {
            forModel.push_back(&entry);
        } else if (entry.sha256 == imageSha256 && elsewhere == nullptr) {
            elsewhere = &entry;
        }
    }
    std::string text = "image " + ShownText(imageName) + " is not released for model " +
                       std::string(model) + ": its SHA-256 is " + std::string(imageSha256) +
                       "; the release manifest " + ShownText(manifest.path);
    if (forModel.empty()) {
        text += " lists no image for model " + std::string(model);
    } else {
        text += " lists for model " + std::string(model) + ": ";
        for (std::size_t i = 0; i < forModel.size() && i < LISTED_SHOWN; ++i) {
            text += (i > 0 ? ", " : "") + Listed(*forModel[i]);
        }
        if (forModel.size() > LISTED_SHOWN) {
            text += " and " + std::to_string(forModel.size() - LISTED_SHOWN) + " more";
        }
    }
    if (elsewhere != nullptr) {
        text += " (the image is released for model " + elsewhere->model + " as " +
                ShownText(elsewhere->name) + " " + ShownText(elsewhere->version) + ")";
    }
    release.refusal = std::move(text);
    return release;
}

} // namespace knot::station
