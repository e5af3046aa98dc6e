// A sample page in six languages (justified and centred paragraphs, bold,
// italic, several faces, a picture and a link), compiled from markup the way
// "make" does, for the tests that look at it drawn.
#pragma once

#include <string>

#include "base/memio.h"
#include "cihlpdoc/hdlparser.h"
#include "cihlpdoc/sidocloader.h"
#include "support/tempfolder.h"
#include "support/treedump.h"

struct sSamplePage {
  int lang;
  const char* code;
  const char* title;
  const char* body;
};

inline constexpr sSamplePage kSamplePages[] = {
    {0, "ENG", "Welcome", "This installer puts the program and its documents in the folder you choose."},
    {1, "RUS", "Добро пожаловать", "Эта программа установки поместит программу и её документы в выбранную папку."},
    {2, "DEU", "Willkommen",
     "Dieses Installationsprogramm legt das Programm und seine Dokumente in den gewählten Ordner."},
    {3, "JPN", "ようこそ", "この インストーラーは プログラムと その 文書を 選んだ フォルダーに 置きます。"},
    {4, "KOR", "환영합니다", "이 설치 프로그램은 프로그램과 문서를 선택한 폴더에 넣습니다."},
    {8, "CHN", "欢迎", "本 安装 程序 会 把 程序 及其 文档 放到 您 选择 的 文件夹 中。"},
};

// The compiled document holding every sample page; false with the
// compiler's message.
inline bool compileSamplePages(cTempFolder& dir, _typebuf<unsigned char>& doc, std::string& error) {
  dir.write("logo.png", cairoPng(40, 30));
  std::string index;
  for (const sSamplePage& p : kSamplePages) {
    const std::string name = std::string(p.code) + ".hdl";
    dir.write(
        name,
        std::string("<text a=c f=verd,20><b>") + p.title + "</b></text>" + "<text a=j mt=8 ml=10 mr=10>" +
            p.body + " <i>" + p.body + "</i> " + p.body +
            "</text><text a=c mt=8><img src=./logo.png> <link ref=\"https://example.org/\">example.org</link>"
            " <text br=0 f=fixed,12>fixed</text> <text br=0 f=kor,14>" +
            p.title + "</text></text>");
    index += std::string(p.code) + " = \"./" + name + "\"\n";
  }
  cMemIOTarget target;
  cHDLParser parser;
  cHDLParser::sErrInfo err;
  const std::string indexPath = dir.write("doc.idx", index);
  if (!parser.parse(const_cast<char*>(indexPath.c_str()), &target, err)) {
    error = err.message.ptr ? err.message.ptr : "";
    return false;
  }
  target.toBuffer(doc);
  return true;
}

// The sample pages compiled and loaded, with what they came from.
struct sSamplePages {
  cTempFolder dir;
  _typebuf<unsigned char> doc;
  cSiDocLoader loader;
  std::string error;
  bool load() {
    if (!compileSamplePages(dir, doc, error)) return false;
    if (loader.load(doc.ptr, doc.count)) return true;
    error = "the compiled sample does not load";
    return false;
  }
};
