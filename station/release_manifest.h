// The line's release manifest: which images are released, by model and SHA-256, read from a JSON
// file (its signature checked when a key is given), and the look-up that lets an image reach a
// unit only when the manifest lists it for the chosen model.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace knot::station {
// One released image, as the manifest lists it.
struct ManifestEntry {
    std::string model;  // "q", "p"
    std::string sha256; // 64 lower-case hexadecimal digits
    std::string name;
    std::string version;
};

enum class ManifestProblem {
    None,
    FileUnreadable,      // the manifest file cannot be read
    NotJson,             // its bytes are not JSON (or not UTF-8)
    NotAManifest,        // JSON, but not of the manifest's shape
    KeyUnreadable,       // the key file cannot be read
    KeyNotP256,          // the key file holds no ECDSA P-256 public key
    SignatureMissing,    // a key was given and FILE.sig does not exist
    SignatureUnreadable, // FILE.sig exists but cannot be read
    SignatureBad,        // FILE.sig is not the key's signature of these bytes
    CryptoFailed,        // the system's cryptography failed
};

struct ReleaseManifest {
    std::string path;   // as given
    std::string sha256; // of the file's bytes as read: the records name it
    bool signatureChecked = false;
    std::vector<ManifestEntry> images;
};

struct ManifestLoad {
    ManifestProblem problem = ManifestProblem::None;
    std::string message; // the operator's text, when there is a problem
    ReleaseManifest manifest;
};

// Reads and checks the manifest at `path`. With `keyPath`, FILE.sig beside it must be that
// key's signature of the manifest's bytes.
ManifestLoad LoadReleaseManifest(const std::string& path, const std::string& keyPath = {});

// Checks the shape of manifest bytes already read, `path` naming them in messages.
ManifestLoad ParseReleaseManifest(std::string_view bytes, const std::string& path);

// The manifest's entry for an image, or why the image may not be sent.
struct ReleaseLookup {
    const ManifestEntry* entry = nullptr; // null: refused
    std::string refusal;                  // the operator's text when refused
};

// Whether `manifest` lists `imageSha256` for `model`; `imageName` names the image in the
// refusal (a path, or "standard input").
ReleaseLookup FindReleasedImage(const ReleaseManifest& manifest, std::string_view model,
                                std::string_view imageSha256, std::string_view imageName);

// Where the detached signature of the manifest at `path` is looked for.
std::string SignaturePath(const std::string& path);

} // namespace knot::station
