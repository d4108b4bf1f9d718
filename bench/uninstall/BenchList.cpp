// Writing an uninstall list as the installation does (items to name=value lines, then the
// bytes in the ANSI code page) and reading it back as the uninstaller does. 100,000 items
// should take well under a second each way, and ten times the items about ten times as long.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

#include "system/Encoding.h"
#include "uninstall/untUnInstallFiles.h"
#include "uninstaller/RemovalList.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point From, Clock::time_point To) {
  return std::chrono::duration<double, std::milli>(To - From).count();
}

// Per 10 items: 7 files (one shared, one with a removal command), 2 shortcuts, 1 folder,
// with Cyrillic paths as the products have.
setup::TUnInstallList MakeList(int Items) {
  setup::TUnInstallList List;
  for (int I = 0; I < Items; ++I) {
    const std::string Folder = "C:\\Program Files\\Продукт\\модуль" + std::to_string(I / 100) + "\\";
    switch (I % 10) {
      case 7:
      case 8:
        List.Add(std::make_unique<setup::TUnInstallFile>(
            "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Продукт\\Ярлык " + std::to_string(I) + ".lnk", 0,
            0, std::string()));
        break;
      case 9:
        List.Add(std::make_unique<setup::TUnInstallDir>(Folder, 0));
        break;
      default:
        List.Add(std::make_unique<setup::TUnInstallFile>(Folder + "файл" + std::to_string(I) + ".dll", I % 10 == 1, 0,
                                                         I % 10 == 2 ? "%file% /unregister" : ""));
    }
  }
  return List;
}

struct TTimes {
  double Write = 1e30, Read = 1e30;
  std::size_t Bytes = 0;
};

TTimes Measure(int Items, int Runs) {
  TTimes Best;
  const setup::TUnInstallList List = MakeList(Items);
  for (int R = 0; R < Runs; ++R) {
    const auto T0 = Clock::now();
    setup::TNameValueList Strings;
    List.SaveToStrings(Strings);
    Strings.SetValue("ProductName", "Продукт");
    const std::string Bytes = setup::Utf8ToAnsi(Strings.Text());
    const auto T1 = Clock::now();
    const setup::TRemovalList Read = setup::ReadRemovalList(Bytes);
    const auto T2 = Clock::now();
    if (Read.Items.Count() != Items) std::printf("read back %d items of %d\n", Read.Items.Count(), Items);
    Best.Write = std::min(Best.Write, Ms(T0, T1));
    Best.Read = std::min(Best.Read, Ms(T1, T2));
    Best.Bytes = Bytes.size();
  }
  return Best;
}

}  // namespace

int main() {
  const TTimes Small = Measure(10000, 5);
  const TTimes Large = Measure(100000, 3);
  std::printf("10000 items (%zu bytes): write %.1f ms, read %.1f ms\n", Small.Bytes, Small.Write, Small.Read);
  std::printf("100000 items (%zu bytes): write %.1f ms, read %.1f ms (target under 1000 ms each)\n", Large.Bytes,
              Large.Write, Large.Read);
  std::printf("ratio for 10x the items: write %.2f, read %.2f (linear: about 10)\n", Large.Write / Small.Write,
              Large.Read / Small.Read);
  return 0;
}
