// The form compiler: the literal text-to-binary conversion, and the designer pass that
// applies the classes' defaults, with errors that name the line of the text.
#include <gtest/gtest.h>

#include <random>

#include "support/TestPaths.h"
#include "framework/ClassBuilder.h"
#include "framework/Filer.h"
#include "text/CodePage.h"
#include "tools/formc/FormText.h"

namespace {

// A designer-side component that takes a file in when its Filename is assigned at design
// time, the way a keeper of file bytes does.
class TFileTaker : public TComponent {
  FW_CLASS(TFileTaker, TComponent)
  explicit TFileTaker(TComponent* owner) : TComponent(owner) {}
  const std::string& Filename() const { return filename_; }
  void SetFilename(const std::string& v) {
    filename_ = v;
    if (ComponentState().Contains(csDesigning)) {
      TMemoryStream m;
      m.LoadFromFile(ResolveDesignFile(v));
      bytes_ = m.Bytes();
    }
  }
  void DefineProperties(TFiler& filer) override {
    filer.DefineBinaryProperty(
        "Data", [this](TStream& s) {
          bytes_.assign(static_cast<std::size_t>(s.Size()), '\0');
          if (!bytes_.empty()) s.ReadBuffer(bytes_.data(), bytes_.size());
        },
        [this](TStream& s) { s.WriteBytes(bytes_); }, !bytes_.empty());
  }
  int Copies() const { return copies_; }
  void SetCopies(int v) { copies_ = v; }
  bool Sealed() const { return sealed_; }
  void SetSealed(bool v) { sealed_ = v; }
  std::string bytes_;

 private:
  std::string filename_;
  int copies_ = 1;
  bool sealed_ = false;
};

// A root standing for a form class this program does not have, to read compiled data back.
class TPosingRoot : public TComponent {
  FW_CLASS(TPosingRoot, TComponent)
  explicit TPosingRoot(std::string className) : TComponent(nullptr), className_(std::move(className)) {}
  std::string ClassName() const override { return className_; }

 private:
  std::string className_;
};

const RegisterClassOf<TFileTaker> registerFileTaker;

}  // namespace

const TClassInfo& TFileTaker::StaticClass() {
  static const TClassInfo info = TClassBuilder<TFileTaker>("TFileTaker", &TComponent::StaticClass())
                                     .Creatable()
                                     .Property("Filename", &TFileTaker::Filename, &TFileTaker::SetFilename)
                                     .Property("Copies", &TFileTaker::Copies, &TFileTaker::SetCopies).Default(1)
                                     .Property("Sealed", &TFileTaker::Sealed, &TFileTaker::SetSealed)
                                     .Build();
  return info;
}

const TClassInfo& TPosingRoot::StaticClass() {
  static const TClassInfo info = TClassBuilder<TPosingRoot>("TPosingRoot", &TComponent::StaticClass()).Build();
  return info;
}

namespace {

std::string Compile(const std::string& text, FormCompileOptions o = {}) { return CompileForm(text, o); }

int ErrorLine(const std::string& text) {
  try {
    Compile(text);
  } catch (const FormTextError& e) {
    return e.Line();
  }
  return -1;
}

}  // namespace

TEST(FormText, LiteralValuesBecomeTheirValueTypes) {
  FormBinary b = ObjectTextToBinary(
      "object A: TForm\n"
      "  P1 = 127\n  P2 = -129\n  P3 = $FF00000F\n  P4 = 70000\n  P5 = 1.5\n"
      "  P6 = 'a''b' + #33 +\n    'c'\n  P7 = #12354'x'\n  P8 = [x, y]\n  P9 = ( 1 'z' )\n"
      "  P10 = { 0a FF }\n  P11 = True\n  P12 = nil\n  P13 = clBtnFace\n"
      "  P14 = < item\n    N = 1\n  end\n  item [5]\n  end >\n"
      "end\n",
      {});
  TReader r(b.data);
  std::string d = b.data;
  auto at = [&](const std::string& name) {
    std::size_t p = d.find(static_cast<char>(name.size()) + name);
    EXPECT_NE(p, std::string::npos) << name;
    return d.substr(p + 1 + name.size());
  };
  EXPECT_EQ(at("P1").substr(0, 2), "\x02\x7F");
  EXPECT_EQ(at("P2").substr(0, 3), std::string("\x03\x7F\xFF", 3));
  EXPECT_EQ(at("P3").substr(0, 5), std::string("\x04\x0F\x00\x00\xFF", 5));
  EXPECT_EQ(at("P4").substr(0, 5), std::string("\x04\x70\x11\x01\x00", 5));
  EXPECT_EQ(at("P5").substr(0, 11), std::string("\x05\0\0\0\0\0\0\0\xC0\xFF\x3F", 11));
  EXPECT_EQ(at("P6").substr(0, 6), "\x06\x05" "a'b!");  // the length counts the joined 'c'
  EXPECT_EQ(at("P6").substr(6, 1), "c");
  std::string a = *text::FromUtf8("あx");
  EXPECT_EQ(at("P7").substr(0, 2 + a.size()), std::string("\x06", 1) + static_cast<char>(a.size()) + a);
  EXPECT_EQ(at("P8").substr(0, 6), std::string("\x0B\x01x\x01y\x00", 6));
  EXPECT_EQ(at("P9").substr(0, 6), std::string("\x01\x02\x01\x06\x01z", 6));
  EXPECT_EQ(at("P10").substr(0, 7), std::string("\x0A\x02\x00\x00\x00\x0A\xFF", 7));
  EXPECT_EQ(at("P11").substr(0, 1), "\x09");
  EXPECT_EQ(at("P12").substr(0, 1), "\x0D");
  EXPECT_EQ(at("P13").substr(0, 11), "\x07\x09" "clBtnFace");
  EXPECT_EQ(at("P14").substr(0, 8), std::string("\x0E\x01\x01N\x02\x01\x00\x02", 8));
  // Every property start is mapped to its line.
  EXPECT_EQ(b.LineAt(d.find("\x03P13")), 15);
}

TEST(FormText, SyntaxErrorsNameTheLine) {
  EXPECT_EQ(ErrorLine("object A: TForm\n  Caption = 'open\nend\n"), 2);
  EXPECT_EQ(ErrorLine("object A: TForm\n  X = 1\n  Data = { 0G }\nend\n"), 3);
  EXPECT_EQ(ErrorLine("object A: TForm\n  Left = \n"), 3);
  EXPECT_EQ(ErrorLine("object A: TForm\n  Left = 1\nend\nend\n"), 4);
  EXPECT_EQ(ErrorLine("thing A: TForm\nend\n"), 1);
  EXPECT_EQ(ErrorLine("object A: TForm\n  Data = { 0A1 }\nend\n"), 2);
}

TEST(FormText, TheDesignerAppliesDefaultsOfItsOwnClassesAndKeepsTheRestAsWritten) {
  const std::string text =
      "object UpDateForm: TUpDateForm\n"
      "  Caption = 'x'\n"
      "  Tag = 0\n"
      "  OnCreate = FormCreate\n"
      "  object Label3: TLabel\n"
      "    Left = 1\n"
      "    Visible = True\n"
      "    AutoSize = False\n"
      "    object Inner: TFileTaker\n"
      "      Copies = 1\n"
      "    end\n"
      "  end\n"
      "  object Keeper: tfiletaker\n"
      "    Copies = 1\n"
      "  end\n"
      "end\n";
  std::string bin = Compile(text);
  std::string literal = ObjectTextToBinary(text, {}).data;
  // Neither the form nor the label class is here: their headers and properties are the
  // text's, byte for byte, defaults included.
  EXPECT_EQ(TReader::ReadRootClassName(bin), "TUpDateForm");
  const std::string formPart = std::string("\x0B" "TUpDateForm" "\x0A" "UpDateForm", 23);
  const std::size_t labelEnd = literal.find("\x0A" "TFileTaker");
  ASSERT_NE(labelEnd, std::string::npos);
  EXPECT_EQ(bin.substr(0, labelEnd), literal.substr(0, labelEnd));
  EXPECT_NE(bin.find(formPart), std::string::npos);
  EXPECT_NE(bin.find(std::string("\x03" "Tag" "\x02\x00", 6)), std::string::npos);
  EXPECT_NE(bin.find(std::string("\x07" "Visible" "\x09", 9)), std::string::npos);
  EXPECT_NE(bin.find(std::string("\x08" "OnCreate" "\x07\x0A" "FormCreate", 21)), std::string::npos);
  // The keeper class is: a child at any depth is written through its class, so Copies at its
  // default goes, Sealed (no default) is always there, and the class name is the class's own.
  EXPECT_EQ(bin.find("Copies"), std::string::npos);
  const std::string sealed = std::string("\x06" "Sealed" "\x08", 8);
  const std::size_t first = bin.find(sealed);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(bin.find(sealed, first + 1), std::string::npos) << "both keepers store Sealed";
  EXPECT_NE(bin.find(std::string("\x0A" "TFileTaker" "\x06" "Keeper", 18)), std::string::npos);
  EXPECT_EQ(bin.find("tfiletaker"), std::string::npos);
}

TEST(FormText, DesignErrorsNameTheLine) {
  EXPECT_EQ(ErrorLine("object F: TMyForm\n  Caption = 'x'\n  object A: TFileTaker\n    Copeis = 2\n  end\nend\n"), 4);
  EXPECT_EQ(ErrorLine("object F: TMyForm\n  object A: TFileTaker\n    Copies = 'many'\n  end\nend\n"), 3);
  EXPECT_EQ(ErrorLine("object F: TMyForm\n  object L: TLabel\n  end\n  object L: TLabel\n  end\nend\n"), 4);
  EXPECT_EQ(ErrorLine("object F: TMyForm\n  object L: TLabel\n    object l: TFileTaker\n    end\n  end\nend\n"), 3);
  EXPECT_EQ(ErrorLine("object F: TMyForm\n  Picture.Data = @'missing.jpg'\nend\n"), 2);
  // A class this program lacks is not an error: its properties are the text's.
  EXPECT_EQ(ErrorLine("object F: TMyForm\n  object A: TNoSuchControl\n    Anything = poMiddle\n  end\nend\n"), -1);
}

TEST(FormText, FilesComeInThroughFileValuesAndDesignTimeNames) {
  std::filesystem::path dir = testing_support::FreshTempDir("formc_files");
  std::filesystem::path jpeg = testing_support::SourceDir() / "tests/tools/formc/forms/Gradient.jpg";
  std::filesystem::copy_file(jpeg, dir / "pic.jpg");
  testing_support::WriteFileBytes(dir / "real.txt", std::string("kept\x00bytes", 10));
  FormCompileOptions o;
  o.baseDir = dir;
  o.designFileMap["E:\\My Documents\\readme.TXT"] = (dir / "real.txt").string();
  const std::string text =
      "object F: TForm\n"
      "  object Image1: TImage\n"
      "    Picture.Data = @'pic.jpg'\n"
      "  end\n"
      "end\n";
  // The picture block: class name, length, the file.
  std::string file = testing_support::ReadFileBytes(jpeg);
  std::string block = std::string("\x0A" "TJPEGImage", 11);
  for (int i = 0; i < 4; ++i) block += static_cast<char>(file.size() >> (8 * i));
  block += file;
  std::string value = std::string("\x0C" "Picture.Data" "\x0A", 14);
  for (int i = 0; i < 4; ++i) value += static_cast<char>(block.size() >> (8 * i));
  EXPECT_NE(Compile(text, o).find(value + block), std::string::npos);

  // Loaded at run time: the keeper holds the mapped file's bytes and the name as the text
  // gave it.
  std::string bin = Compile(
      "object F: TForm\n"
      "  object Keeper: TFileTaker\n"
      "    Filename = 'e:\\my documents\\README.txt'\n"
      "  end\n"
      "end\n",
      o);
  TPosingRoot f("TForm");
  TReader(bin).ReadRootComponent(&f);
  auto* k = dynamic_cast<TFileTaker*>(f.FindComponent("Keeper"));
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(k->bytes_, std::string("kept\x00bytes", 10));
  EXPECT_EQ(k->Filename(), "e:\\my documents\\README.txt");
}

TEST(FormText, APictureThatIsNoJpegIsRefused) {
  std::filesystem::path dir = testing_support::FreshTempDir("formc_badjpeg");
  testing_support::WriteFileBytes(dir / "bad.jpg", "\xFF\xD8 not really a JPEG");
  FormCompileOptions o;
  o.baseDir = dir;
  try {
    Compile("object F: TForm\n  object I: TImage\n    Picture.Data = @'bad.jpg'\n  end\nend\n", o);
    FAIL() << "accepted";
  } catch (const FormTextError& e) {
    EXPECT_EQ(e.Line(), 3);
    EXPECT_NE(std::string(e.what()).find("JPEG"), std::string::npos) << e.what();
  }
}

TEST(FormText, DamagedDescriptionsFailWithALineNeverOtherwise) {
  std::filesystem::path forms = testing_support::SourceDir() / "tests/tools/formc/forms";
  std::string good = testing_support::ReadFileBytes(forms / "AllKinds.txt");
  FormCompileOptions o;
  o.baseDir = forms;
  ASSERT_NO_THROW(Compile(good, o));
  std::mt19937 rng(19436);
  const char pieces[] = "#$'{}()<>[]=+-.:@ \n09AZaz";
  int failures = 0;
  for (int round = 0; round < 1500; ++round) {
    std::string bad = good;
    int edits = 1 + static_cast<int>(rng() % 3);
    for (int k = 0; k < edits; ++k) {
      std::size_t at = rng() % bad.size();
      switch (rng() % 3) {
        case 0: bad[at] = pieces[rng() % (sizeof pieces - 1)]; break;
        case 1: bad.insert(at, std::string(1 + rng() % 30, pieces[rng() % (sizeof pieces - 1)])); break;
        default: bad.erase(at, 1 + rng() % 20); break;
      }
    }
    try {
      Compile(bad, o);
    } catch (const FormTextError& e) {
      ++failures;
      EXPECT_GE(e.Line(), 0);
    }
    // Any other exception type escapes and fails the test.
  }
  EXPECT_GT(failures, 500);
  EXPECT_EQ(ErrorLine("object A: TForm\n  Caption = #99999999999999999999999\nend\n"), 2);
  EXPECT_EQ(ErrorLine("object A: TForm\n  Left = 99999999999999999999999\nend\n"), 2);
  EXPECT_EQ(ErrorLine("object A: TForm\n  Left = $FFFFFFFFFFFFFFFFFFFF\nend\n"), 2);
}
