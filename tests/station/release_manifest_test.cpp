// The release manifest against files openssl made at test time (make_manifests.sh): which images
// it lets through, and each refusal, with libcrypto on Linux and CNG under Wine.
#include "knot_names.h"

#include "case_printer.h"
#include "file_text.h"
#include "release_manifest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {
using knot_test::PrintTo;
using ::testing::HasSubstr;

constexpr char P_IMAGE[] = "8244900cd3ccf98ddca88dfe2535793abdafbf8b502e8b1ff064795274b8840d";
constexpr char Q_IMAGE[] = "e379ae5b666be54d236aa4a65d0ae8ca665717249ffc8143b662a28d1f3e2f0c";
constexpr char OTHER_IMAGE[] = "0f0e0d0c0b0a09080706050403020100f0e0d0c0b0a090807060504030201000";

std::string Fixture(const std::string& name) {
#ifdef _WIN32
    const std::string root = std::string("Z:") + KNOT_MANIFESTS_DIR; // Wine's view of "/"
#else
    const std::string root = KNOT_MANIFESTS_DIR;
#endif
    return name.empty() ? "" : root + "/" + name;
}

struct ManifestCase {
    const char* name;
    const char* file;
    const char* key; // "" for an unsigned manifest
    const char* model;
    const char* image;
    ManifestProblem problem;
    std::vector<std::string> said; // in the problem's message, the refusal, or "name version"
};

class ReleaseManifestTest : public ::testing::TestWithParam<ManifestCase> {};

TEST_P(ReleaseManifestTest, LetsOnlyListedImagesThrough) {
    const ManifestCase& c = GetParam();
    const ManifestLoad load = LoadReleaseManifest(Fixture(c.file), Fixture(c.key));
    ASSERT_EQ(load.problem, c.problem) << load.message;
    std::string said = load.message;
    if (load.problem == ManifestProblem::None) {
        EXPECT_EQ(load.manifest.sha256, ReadFile(Fixture("manifest.json.sha256")).substr(0, 64));
        EXPECT_EQ(load.manifest.signatureChecked, *c.key != '\0');
        const ReleaseLookup release = FindReleasedImage(load.manifest, c.model, c.image, "app.mot");
        said = release.entry ? release.entry->name + " " + release.entry->version : release.refusal;
    }
    for (const std::string& part : c.said) {
        EXPECT_THAT(said, HasSubstr(part));
    }
}

const ManifestCase CASES[] = {
    {"Listed",
     "manifest.json",
     "release.pub",
     "p",
     P_IMAGE,
     ManifestProblem::None,
     {"knot-p-app 2.4.1"}},
    {"ListedInCapitals",
     "manifest.json",
     "release.pub",
     "q",
     Q_IMAGE,
     ManifestProblem::None,
     {"knot-q-app 1.9.0"}},
    {"UnsignedWithoutKey",
     "unsigned.json",
     "",
     "p",
     P_IMAGE,
     ManifestProblem::None,
     {"knot-p-app 2.4.1"}},
    {"Unlisted",
     "manifest.json",
     "release.pub",
     "p",
     OTHER_IMAGE,
     ManifestProblem::None,
     {"image app.mot is not released for model p: its SHA-256 is " + std::string(OTHER_IMAGE),
      "lists for model p: " + std::string(P_IMAGE) + " (knot-p-app 2.4.1)"}},
    {"WrongModel",
     "manifest.json",
     "release.pub",
     "p",
     Q_IMAGE,
     ManifestProblem::None,
     {Q_IMAGE, P_IMAGE, "(the image is released for model q as knot-q-app 1.9.0)"}},
    {"EditedAfterSigning",
     "edited.json",
     "release.pub",
     "p",
     P_IMAGE,
     ManifestProblem::SignatureBad,
     {"edited.json does not match its signature"}},
    {"SignedByAnotherKey",
     "foreign.json",
     "release.pub",
     "p",
     P_IMAGE,
     ManifestProblem::SignatureBad,
     {"or signed with another key than"}},
    {"NoSignature",
     "unsigned.json",
     "release.pub",
     "p",
     P_IMAGE,
     ManifestProblem::SignatureMissing,
     {"unsigned.json.sig is missing"}},
    {"KeyNotP256",
     "manifest.json",
     "p384.pub",
     "p",
     P_IMAGE,
     ManifestProblem::KeyNotP256,
     {"is not an ECDSA P-256 public key"}},
    {"PrivateKeyGiven",
     "manifest.json",
     "release.key",
     "p",
     P_IMAGE,
     ManifestProblem::KeyNotP256,
     {"release.key is not an ECDSA P-256 public key"}},
    {"KeyMissing",
     "manifest.json",
     "absent.pub",
     "p",
     P_IMAGE,
     ManifestProblem::KeyUnreadable,
     {"cannot read the manifest key"}},
    {"ManifestMissing",
     "absent.json",
     "",
     "p",
     P_IMAGE,
     ManifestProblem::FileUnreadable,
     {"cannot read the release manifest"}},
    {"NotJson",
     "broken.json",
     "",
     "p",
     P_IMAGE,
     ManifestProblem::NotJson,
     {"broken.json is not valid JSON: parse error at line 1"}},
    {"NotAManifest",
     "shape.json",
     "",
     "p",
     P_IMAGE,
     ManifestProblem::NotAManifest,
     {"images[0].sha256 is not 64 hexadecimal digits"}},
};
INSTANTIATE_TEST_SUITE_P(Manifests, ReleaseManifestTest, ::testing::ValuesIn(CASES),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
