#include "tamsivarapp/instwiz_finish.h"

#include <string>

#include "base/conproc.h"
#include "tamsivarapp/cistd.h"
#include "tamsivarapp/installjob.h"
#include "tamsivarapp/textfill.h"

namespace {

constexpr unsigned int kWhite = 0xFFFFFF;
constexpr int kMessageY = 40;
constexpr int kMessageH = 60;
constexpr int kBoxStep = 25;
constexpr int kBottomMargin = 20;
// Rows of the page's texts.
constexpr int kDoneTitle = 0, kFailedTitle = 1, kDoneMessage = 13, kKeptMessage = 14;

}  // namespace

bool (*cFinishPanel::runCommand)(const char*) = shellOpen;

void cErrorDispl::onPaint(cCanvas* c) {
  sRect all{0, 0, width(), height()};
  c->drawRect(&all, kWhite, kWhite);
  const char* t = text();
  if (!t || !*t) return;
  if (cFontObject* f = mkStdFont()) f->apply(c);
  c->setTextColors(defaultBackgroundColor(), kWhite);
  sSize drawn;
  c->drawTextWrapped(0, 0, width(), height(), cCanvas::eAlignLeft, t, drawn, false, 1.2);
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

void cFinishPanel::addRunBoxes(sPkgInstallContext* ctx, int y) {
  _List<cSoftPkgScenario::sOnCompletionRun> runs;
  if (ctx->scenario) ctx->scenario->getOnCompletionRun(runs);
  for (auto* r = runs.head; r && y <= height() - kBottomMargin; r = r->next, y += kBoxStep) {
    sActions& a = myActions.add()->value;
    const cSoftPkgScenario::sOnCompletionRun& run = r->value;
    const char* program = run.program.ptr ? run.program.ptr : "";
    if (run.arguments.ptr && *run.arguments.ptr) {
      std::string command = "\"";
      command.append(program).append("\" ").append(run.arguments.ptr);
      a.command.set(command.c_str());
    } else {
      a.command.set(program);
    }
    attach(&a.box, 15, y, width() - 30, 18);
    a.box.setColorSchema(kTextColor, kWhite, kWhite);
    a.box.setText(run.caption.ptr ? run.caption.ptr : "", cCanvas::eAlignLeft, false);
    a.box.setChecked(run.checked, false);
  }
  runs.destroy();
}

void cFinishPanel::init(sPkgInstallContext* ctx) {
  dropRunBoxes();
  const int result = ctx ? ctx->result : -1;
  auto text = [this](int i) {
    const char* s = string(i);
    return s ? s : "";
  };
  // Files of the previous version left in place take the room of some run
  // boxes: the user reads of them before anything is started.
  const bool kept = result == irOk && !ctx->kept.empty();
  const int messageH = kept ? kKeptMessageH : kMessageH;
  myMessage.move(10, kMessageY, width() - 20, messageH);
  if (result == irOk) {
    myTitle.setText(text(kDoneTitle), cCanvas::eAlignLeft, true);
    myMessage.setDefaultBackgroundColor(kept ? kErrorColor : kTextColor);
    if (kept) {
      const std::string files = keptFilesText(ctx->kept, requestNamedLangResource(kKeptReasonsSection), kKeptShown);
      myMessage.setText(fillText(text(kKeptMessage), files.c_str()).c_str(), -1, true);
    } else {
      myMessage.setText(text(kDoneMessage), -1, true);
    }
    addRunBoxes(ctx, kMessageY + messageH + 10);
  } else {
    myTitle.setText(text(kFailedTitle), cCanvas::eAlignLeft, true);
    myMessage.setDefaultBackgroundColor(kErrorColor);
    const bool known = result >= irObstacle && result <= irRecordUnsaved;
    myMessage.setText(known ? text(result + 1) : "", -1, true);
  }
  repaint(nullptr);
}

void cFinishPanel::finalize() {
  for (auto* a = myActions.head; a; a = a->next)
    if (a->value.box.checked() && a->value.command.ptr && *a->value.command.ptr) runCommand(a->value.command.ptr);
}
