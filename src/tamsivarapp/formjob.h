// What the install and uninstall forms share with their jobs: a job that
// works for one form on one context, and the actions it sends the form.
#pragma once

#include "base/job.h"
#include "ciom/child.h"

template <typename Form, typename Context>
class cFormJob : public cJob {
 public:
  cFormJob(Form* form, Context* context) : cJob(nullptr), myForm(form), myContext(context) {}
  // The context and the form outlive no running thread.
  ~cFormJob() override { terminate(); }

 protected:
  Form* myForm;
  Context* myContext;
};

// Action codes both forms give these two actions.
inline constexpr int kFormJobEnded = 7;
inline constexpr int kFormChooseLang = 8;

class cFormJobEndAction : public cChildElement::cChildAction {
 public:
  int endCode;
  explicit cFormJobEndAction(int c) : cChildAction(kFormJobEnded), endCode(c) {}
};

// Carries the preselected language in and the chosen one out.
class cFormChooseLangAction : public cChildElement::cSentChildAction {
 public:
  int* lang;
  explicit cFormChooseLangAction(int* l) : cSentChildAction(kFormChooseLang), lang(l) {}
};
