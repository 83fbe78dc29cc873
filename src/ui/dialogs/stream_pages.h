// The "Input Data" and "Output Data" pages of the case editor: one stream
// shown at a time; choosing another stores the one shown first.
#pragma once

#include <string>
#include <vector>

#include "casedata/case_details.h"
#include "ui/widgets/pages.h"

class QCheckBox;
class QComboBox;

namespace ui {

class PropertyGrid;

class InputStreamsPage : public Page {
 public:
  InputStreamsPage(casedata::CExcCaseDetails& edited, const std::vector<std::string>& sheetNames,
                   QWidget* parent = nullptr);
  void Load() override;
  void Store() override;
  QString Check() override;

 private:
  void LoadStream();
  void AutoGenerate(bool forecast);
  void EditComposition();

  casedata::CExcCaseDetails& edited_;
  int shown_ = 0;
  QComboBox* stream_;
  QComboBox* sheet_;
  QCheckBox* solverDisplay_;
  PropertyGrid* solverGrid_;
  QCheckBox* forecastDisplay_;
  QComboBox* direction_;
  PropertyGrid* forecastGrid_;
};

class OutputStreamsPage : public Page {
 public:
  OutputStreamsPage(casedata::CExcCaseDetails& edited, const std::vector<std::string>& sheetNames,
                    QWidget* parent = nullptr);
  void Load() override;
  void Store() override;
  QString Check() override;

 private:
  void LoadStream();
  void AutoGenerate();
  void EditComposition();
  void CopyFromInput();

  casedata::CExcCaseDetails& edited_;
  int shown_ = 0;
  QComboBox* stream_;
  QComboBox* sheet_;
  PropertyGrid* grid_;
  QComboBox* copyFrom_;
};

}  // namespace ui
