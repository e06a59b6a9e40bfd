#include "ui/ConfigGraphics.h"

#include "config/UIConfigManager.h"
#include "gui/IGraphics.h"

void connectConfigToGraphics(UIConfigManager* config, IGraphics* graphics)
{
  if (!config || !graphics) return;
  config->setResourceLoader([graphics](int id, const char* name) { return graphics->LoadFile(id, name); });
  config->setImageLoader([graphics](const ImageTableRow& image, double scale, bool release) {
    // The store keeps pixels only; a strip's frame layout comes from the table when
    // a control asks for the image by name.
    IBitmap bitmap = graphics->LoadIBitmap(image.id, image.path, scale, image.frames, false);
    if (release) graphics->ReleaseBitmap(&bitmap);
  });
  config->setImagePrefetch([graphics](const std::vector<ImageTableRow>& images, double scale) {
    std::vector<IGraphics::ImageRequest> requests;
    requests.reserve(images.size());
    for (const ImageTableRow& image : images) requests.push_back({image.id, image.path});
    graphics->LoadIBitmaps(requests, scale);
  });
}

IBitmap UIConfigManager::getImageByName(IGraphics* graphics, const std::string& name) const
{
  ImageInfo info;
  if (!getImageInfoByName(name, &info) || !graphics) return IBitmap(nullptr, 0, 0, 1, false);
  return graphics->getImageById(info.resourceId, info.frameCount, info.framesAreHorizontal, scale());
}
