#include "platform/appkit/Presenter.h"
std::unique_ptr<NSPresenter> AKMakeX11Presenter(const std::string&, std::string* error) { if (error) *error = "not built"; return nullptr; }
