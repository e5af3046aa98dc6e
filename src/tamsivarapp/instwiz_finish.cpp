#include "tamsivarapp/instwiz_finish.h"

#include <algorithm>
#include <string>

#include "base/conproc.h"
#include "ciplatform/crbcanvas.h"
#include "tamsivarapp/cistd.h"
#include "tamsivarapp/installjob.h"
#include "tamsivarapp/pathfit.h"
#include "tamsivarapp/runoption.h"
#include "tamsivarapp/textfill.h"

namespace {

constexpr unsigned int kWhite = 0xFFFFFF;
constexpr int kMessageY = 40;
constexpr int kMessageH = 60;
constexpr int kFirstBoxY = 110;
constexpr int kBoxStep = 25;
constexpr int kBoxGap = 10;
constexpr int kBottomMargin = 20;
constexpr double kLineFactor = 1.2;
// Rows of the page's texts.
constexpr int kDoneTitle = 0, kFailedTitle = 1, kDoneMessage = 13, kKeptMessage = 14;
// A record left unsaved with what it names not in place: its row follows
// the page's other texts.
constexpr int kRecordLeftMessage = 15;

}  // namespace

tRunOptionStarter cFinishPanel::runCommand = shellOpen;

void cErrorDispl::onPaint(cCanvas* c) {
  sRect all{0, 0, width(), height()};
  c->drawRect(&all, kWhite, kWhite);
  const char* t = text();
  if (!t || !*t) return;
  if (cFontObject* f = mkStdFont()) f->apply(c);
  c->setTextColors(defaultBackgroundColor(), kWhite);
  sSize drawn;
  c->drawTextWrapped(0, 0, width(), height(), cCanvas::eAlignLeft, t, drawn, false, kLineFactor);
}

cFinishPanel::~cFinishPanel() { dropRunBoxes(); }

void cFinishPanel::onInitData() {
  cPanelChild::onInitData();
  setBorderColor(kWhite);
  setBgColor(kWhite);
  attach(&myTitle, 10, 10, width() - 20, 20);
  myTitle.setColorSchema(kTextColor, kWhite, kWhite);
  myTitle.setFont(mkBtnFont(false));
  attach(&myMessage, 10, kMessageY, width() - 20, kMessageH);
}

void cFinishPanel::dropRunBoxes() {
  for (auto* a = myActions.head; a; a = a->next) dettach(&a->value.box);
  myActions.destroy();
}

int cFinishPanel::runBoxesShown(sPkgInstallContext* ctx) {
  _List<cSoftPkgScenario::sOnCompletionRun> runs;
  if (ctx->scenario) ctx->scenario->getOnCompletionRun(runs);
  int shown = 0;
  for (auto* r = runs.head; r && kFirstBoxY + shown * kBoxStep <= height() - kBottomMargin; r = r->next) ++shown;
  runs.destroy();
  return shown;
}

void cFinishPanel::addRunBoxes(sPkgInstallContext* ctx, int count, int y, int step) {
  _List<cSoftPkgScenario::sOnCompletionRun> runs;
  if (ctx->scenario) ctx->scenario->getOnCompletionRun(runs);
  for (auto* r = runs.head; r && count > 0; r = r->next, y += step, --count) {
    sActions& a = myActions.add()->value;
    const cSoftPkgScenario::sOnCompletionRun& run = r->value;
    a.command.set(runCommandLine(run.program.ptr, run.arguments.ptr).c_str());
    attach(&a.box, 15, y, width() - 30, 18);
    a.box.setColorSchema(kTextColor, kWhite, kWhite);
    a.box.setText(run.caption.ptr ? run.caption.ptr : "", cCanvas::eAlignLeft, false);
    a.box.setChecked(run.checked, false);
  }
  runs.destroy();
}

// Measured in the font the message is drawn in: each named path takes what
// the line leaves beside its reason or a line of its own, and fewer files
// are named while the whole does not fit, so that the count of the others
// and the advice are always read.
std::string cFinishPanel::keptMessage(const std::vector<sKeptFile>& kept, int w, int h, const tComposer& compose) {
  cCrbOffscreenCanvas canvas;
  cFontObject* font = mkStdFont();
  const bool measured = canvas.create(w, std::max(h, 1)) && font && font->apply(&canvas);
  const auto widthOf = [&canvas](const std::string& s) {
    sSize size;
    return canvas.textSize(s.c_str(), -1, size) ? size.cx : 0;
  };
  // A reason that leaves less than half a line, or too little to keep the
  // path's first folders and its file name, goes to the next line, and the
  // path has a line of its own. Wrapping measures word by word, a little
  // wider than the line as a whole: a few spaces' slack keeps the line
  // whole.
  const KeptPathWriter write = [&](const std::string& path, const std::string& after) {
    if (!measured) return path;
    const int line = w - widthOf("    ");
    const int beside = line - widthOf(after);
    const bool shares = beside >= w / 2 && fitsWithStartAndName(path, beside, widthOf);
    return fitPath(path, shares ? beside : line, widthOf);
  };
  cCiomLangData* reasons = requestNamedLangResource(kKeptReasonsSection);
  std::string text;
  for (size_t named = std::min(kKeptShown, kept.size());; --named) {
    text = compose(keptFilesText(kept, reasons, named, write), write);
    sSize size;
    if (named <= 1 || !measured) break;
    if (canvas.drawTextWrapped(0, 0, w, h, cCanvas::eAlignLeft, text.c_str(), size, true, kLineFactor) &&
        size.cy <= h)
      break;
  }
  return text;
}

void cFinishPanel::init(sPkgInstallContext* ctx) {
  dropRunBoxes();
  const int result = ctx ? ctx->result : -1;
  auto text = [this](int i) {
    const char* s = string(i);
    return s ? s : "";
  };
  // Files of the previous version left in place share the page with every
  // run box it shows otherwise: the boxes close up at the bottom and the
  // message takes the room above them.
  const bool kept = result == irOk && !ctx->kept.empty();
  const int boxes = result == irOk ? runBoxesShown(ctx) : 0;
  int messageH = kMessageH, firstBox = kFirstBoxY, step = kBoxStep;
  if (kept) {
    step = kKeptBoxStep;
    firstBox = height() - kBottomMargin - (boxes - 1) * step;
    messageH = (boxes ? firstBox - kBoxGap : height() - kBottomMargin) - kMessageY;
  } else if (result != irOk) {
    // A failure shows no run box: the reason, and what the run could not
    // take back below it, have the page.
    messageH = height() - kBottomMargin - kMessageY;
  }
  myMessage.move(10, kMessageY, width() - 20, messageH);
  if (result == irOk) {
    myTitle.setText(text(kDoneTitle), cCanvas::eAlignLeft, true);
    myMessage.setDefaultBackgroundColor(kept ? kErrorColor : kTextColor);
    if (kept) {
      const char* intro = string(kKeptMessage);
      const std::string advice = keptAdvice(ctx->kept, requestNamedLangResource(kKeptReasonsSection));
      const auto compose = [intro, &advice](const std::string& list, const KeptPathWriter&) {
        return fillText(intro ? intro : "", list.c_str()) + advice;
      };
      myMessage.setText(keptMessage(ctx->kept, width() - 20, messageH, compose).c_str(), -1, true);
    } else {
      myMessage.setText(text(kDoneMessage), -1, true);
    }
    addRunBoxes(ctx, boxes, firstBox, step);
  } else {
    myTitle.setText(text(kFailedTitle), cCanvas::eAlignLeft, true);
    myMessage.setDefaultBackgroundColor(kErrorColor);
    const bool known = result >= irObstacle && result <= irRecordLeft;
    std::string message = known ? text(result == irRecordLeft ? kRecordLeftMessage : result + 1) : "";
    // The store and the system's reason; the folder no file could be
    // placed in, or what stands where a file should go.
    const char* problem = ctx && ctx->problemPath.ptr ? ctx->problemPath.ptr : "";
    if (result == irRecordUnsaved || result == irRecordLeft)
      message = fillText(message.c_str(), storeTroubleText(problem, requestNamedLangResource(kKeptReasonsSection)).c_str());
    const bool named = (result == irBadFolder || result == irObstacle) && *problem;
    // What the run made and could not take back, where it is now. A path
    // has no blank to wrap at: each is fitted to the line.
    const std::vector<sKeptFile> none;
    const std::vector<sKeptFile>& left = ctx ? ctx->kept : none;
    const auto compose = [&](const std::string& list, const KeptPathWriter& fit) {
      // Piece by piece: -O3 reads "\n" + a string as an overlapping copy.
      std::string all = message;
      if (named) {
        all += '\n';
        all += fit(visibleText(problem), "");
      }
      if (!left.empty()) {
        all += '\n';
        all += list;
      }
      return all;
    };
    myMessage.setText(keptMessage(left, width() - 20, messageH, compose).c_str(), -1, true);
  }
  repaint(nullptr);
}

std::string cFinishPanel::finalize() {
  std::string told;
  for (auto* a = myActions.head; a; a = a->next) {
    if (!a->value.box.checked() || !a->value.command.ptr || !*a->value.command.ptr) continue;
    const std::string why = startRunOption(a->value.box.text(), a->value.command.ptr,
                                           requestNamedLangResource(kRunOptionSection), runCommand);
    if (why.empty()) continue;
    if (!told.empty()) told += '\n';
    told += why;
  }
  return told;
}
