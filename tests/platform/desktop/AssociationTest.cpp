// The program lookup behind Open; every kind of desktop entry and the start
// itself are driven through the browser (FileCommands, Routing).
#include "platform/desktop/DesktopEntryLaunch.h"
#include "platform/desktop/MODULE_Win32Api.h"
#include "support/FileKinds.h"
#include "support/FreshProgram.h"
#include "support/TestDesktop.h"

#include <optional>

using namespace MODULE_Win32Api;

namespace {

using Association = FreshProgram;

// Found and not found alternate, so that a result code left over from the
// call before shows. A FIFO without a writer is never read: the lookup returns.
TEST_F(Association, FindsTheDefaultProgramOfTheTypeByNameOrByContent) {
  const QByteArray jpeg = contentsOf(testData(QStringLiteral("pillow_hopper.jpg")));
  ASSERT_TRUE(makeFifo(pathOf(QStringLiteral("stream"))));
  const struct {
    const char* name;
    std::optional<QByteArray> bytes;  // none: written by no one
    bool found;
  } cases[] = {
      {"photo.jpg", jpeg, true},
      {"notes.xyz", QByteArray("plain words\n"), false},             // a type without a program
      {"photo", jpeg, true},                                         // the name says nothing: by the bytes
      {"missing.jpg", std::nullopt, false},                          // no such file
      {"sketch.jpg", QByteArray("not a picture at all\n"), true},    // the name wins over the bytes
      {"picture.png", QByteArray("\x89PNG\r\n\x1a\n", 8), false},    // its program is not installed
      {"stream", std::nullopt, false},
      {"x';touch pwned;'.xpm", jpeg, false},  // its program's entry has a field code inside quotes
      {"x\";touch pwned;\".xbm", jpeg, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = c.bytes ? writeFile(QString::fromLatin1(c.name), *c.bytes) : pathOf(QString::fromLatin1(c.name));
    EXPECT_EQ(FindAssociatedProgram(path), c.found ? testDesktop().viewer : QString());
    EXPECT_EQ(FindExeResult > 32, c.found);
  }
}

// Only field codes outside quotes are expanded safely; a percent sign,
// written twice, may stand anywhere.
TEST(DesktopEntryLaunch, TakesOnlyCommandLinesWithEveryFieldCodeOutsideQuotes) {
  const std::pair<const char*, bool> cases[] = {
      {"viewer %f", true},
      {"sh -c 'viewer \"$1\"' sh %f", true},
      {"viewer \"100%% sure\" '50%%' %U", true},
      {"sh -c 'viewer %f'", false},
      {"sh -c \"viewer %u\"", false},
      {"viewer \"%F\"", false},
      {"viewer \\%f", false},  // the name's opening quote escaped
      {"viewer \"it\\\"s\" %f", true},
      {"viewer 'unclosed %f", false},
  };
  for (const auto& [line, safe] : cases) EXPECT_EQ(platform::fieldCodesOutsideQuotes(line), safe) << line;
}

}  // namespace
