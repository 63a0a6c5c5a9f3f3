#include "app/Anim.h"

#include "framework/ClassBuilder.h"
#include "framework/ComCtrls.h"

const TClassInfo& TAnimForm::StaticClass() {
  static const TClassInfo info = TClassBuilder<TAnimForm>("TAnimForm", &TForm::StaticClass())
                                     .Field("Animate1", &TAnimForm::Animate1)
                                     .Build();
  return info;
}
