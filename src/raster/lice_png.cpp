#include "base/log.h"
#include "raster/lice_png.h"

#include "config/BundleResources.h"
#include "platform/corefoundation/CFBundle.h"

#include <png.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <strings.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void log(const char* fmt, ...)
{
  va_list ap;
  va_start(ap, fmt);
  char line[512];
  vsnprintf(line, sizeof line, fmt, ap);
  va_end(ap);
  ConsoleLog("%s\n", line);
}

struct MemCursor
{
  const unsigned char* p;
  long long left;
};

// Everything one decode owns, kept outside the frame that libpng may jump back
// into, so it can all be released whatever step failed.
struct PngJob
{
  const char* what;  // the file name, or "memory"
  FILE* fp = nullptr;
  MemCursor mem = {nullptr, 0};
  png_structp png = nullptr;
  png_infop info = nullptr;
  png_bytep* rows = nullptr;
  LICE_IBitmap* made = nullptr;    // a bitmap this decode created
  LICE_IBitmap* result = nullptr;
  char error[256] = "";
};

void onError(png_structp png, png_const_charp msg)
{
  PngJob* job = (PngJob*)png_get_error_ptr(png);
  snprintf(job->error, sizeof(job->error), "%s", msg ? msg : "libpng error");
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp)
{
}

// Input that ends early is an error, not a run of zero bytes.
void readMemory(png_structp png, png_bytep out, png_size_t n)
{
  MemCursor* c = (MemCursor*)png_get_io_ptr(png);
  if ((unsigned long long)c->left < n)
  {
    memset(out, 0, n);
    png_error(png, "read past the end of the data");
  }
  memcpy(out, c->p, n);
  c->p += n;
  c->left -= (long long)n;
}

void fail(PngJob* job, const char* reason)
{
  snprintf(job->error, sizeof(job->error), "%s", reason);
}

// The part that libpng may leave by longjmp: no object with a destructor lives here,
// and all state goes through job.
bool decode(PngJob* job, LICE_IBitmap* given)
{
  png_structp png = job->png;
  png_infop info = job->info;
  if (setjmp(png_jmpbuf(png))) return false;

  if (job->fp)
    png_init_io(png, job->fp);
  else
    png_set_read_fn(png, &job->mem, readMemory);

  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colorType = 0, interlace = 0, compression = 0, filter = 0;
  png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, &compression, &filter);

  // Sizes in 64 bits: a crafted header must not wrap the bitmap size.
  const unsigned long long bytes = (((unsigned long long)width + 3) & ~3ULL) * height * 4;
  if (width == 0 || height == 0 || width > 0x7fffffff || height > 0x7fffffff ||
      bytes > (unsigned long long)LICE_MAX_BITMAP_BYTES)
  {
    snprintf(job->error, sizeof(job->error), "%u x %u pixels is too large", (unsigned)width, (unsigned)height);
    return false;
  }

  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS))
  {
    png_set_tRNS_to_alpha(png);
    colorType |= PNG_COLOR_MASK_ALPHA;
  }
  if (depth == 16)
    png_set_strip_16(png);
  else if (depth < 8)
    png_set_packing(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  if (colorType & PNG_COLOR_MASK_ALPHA)
    png_set_swap_alpha(png);
  else
    png_set_filler(png, 0xFF, PNG_FILLER_BEFORE);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != (png_size_t)width * 4)
  {
    fail(job, "unexpected row layout");
    return false;
  }

  LICE_IBitmap* bmp = given;
  if (bmp)
  {
    bmp->resize((int)width, (int)height);
    if (bmp->getWidth() != (int)width || bmp->getHeight() != (int)height || !bmp->getBits())
    {
      fail(job, "the bitmap cannot take the image's size");
      return false;
    }
  }
  else
  {
    job->made = bmp = new (std::nothrow) LICE_MemBitmap((int)width, (int)height, 4);
    if (!bmp || !bmp->getBits())
    {
      fail(job, "out of memory");
      return false;
    }
  }

#ifdef MADV_POPULATE_WRITE
  // A large image's fresh pages faulted in by one call rather than one fault each as
  // the rows reach them (a quarter less of the kernel's time); only the whole pages
  // inside the pixels, and a refusal (an older kernel) changes nothing.
  {
    const long page = sysconf(_SC_PAGESIZE);
    const unsigned long long size = (unsigned long long)bmp->getRowSpan() * height * 4;
    const uintptr_t from = (uintptr_t)bmp->getBits(), to = from + (uintptr_t)size;
    const uintptr_t first = (from + (uintptr_t)page - 1) & ~(uintptr_t)(page - 1), last = to & ~(uintptr_t)(page - 1);
    if (page > 0 && size >= 256 * 1024 && last > first) madvise((void*)first, last - first, MADV_POPULATE_WRITE);
  }
#endif
  job->rows = (png_bytep*)malloc(sizeof(png_bytep) * height);
  if (!job->rows)
  {
    fail(job, "out of memory");
    return false;
  }
  LICE_PixelValue* bits = bmp->getBits();
  const long long span = bmp->getRowSpan();
  for (png_uint_32 i = 0; i < height; ++i)
  {
    const long long row = bmp->isFlipped() ? (long long)height - 1 - i : (long long)i;
    job->rows[i] = (png_bytep)(bits + row * span);
  }
  png_read_image(png, job->rows);
  // Through to the end chunk, so that a file cut short anywhere is refused.
  png_read_end(png, nullptr);
  job->result = bmp;
  return true;
}

LICE_IBitmap* load(PngJob& job, LICE_IBitmap* given)
{
  job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, onError, onWarning);
  // Chunks the bitmap never uses are passed over unread: libpng allocates and clears
  // the length such a chunk states before reading it, so a file of a few bytes could
  // otherwise take gigabytes.
  static const png_byte kUnused[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf\0pCAL\0sCAL\0";
  if (job.png) png_set_keep_unknown_chunks(job.png, PNG_HANDLE_CHUNK_NEVER, kUnused, 8);
  // The compressed stream's own checksum is not computed: every image-data chunk's
  // CRC is still checked, over the same bytes, and the checksum cost a fifth of the
  // editor's image decoding.
  if (job.png) png_set_option(job.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
  if (job.png) job.info = png_create_info_struct(job.png);
  bool ok = false;
  if (!job.png || !job.info)
    fail(&job, "libpng structures not made");
  else
    ok = decode(&job, given);

  png_destroy_read_struct(job.png ? &job.png : nullptr, job.info ? &job.info : nullptr, nullptr);
  free(job.rows);
  if (job.fp) fclose(job.fp);
  if (ok) return job.result;
  delete job.made;
  log("LICE: PNG %s not loaded: %s", job.what, job.error);
  return nullptr;
}

// The signature, then the header chunk first, as the format demands. libpng checks
// this only in the handlers of the chunks it reads, and the chunks passed over unread
// would otherwise be let through ahead of the header.
const int kPngStart = 16;
bool startsLikePng(const unsigned char* p, long long size)
{
  return size >= kPngStart && !png_sig_cmp((png_const_bytep)p, 0, 8) && !memcmp(p + 12, "IHDR", 4);
}

// Everything one encode owns, kept outside the frame libpng may jump back into.
struct PngWriteJob
{
  FILE* fp = nullptr;
  png_structp png = nullptr;
  png_infop info = nullptr;
  unsigned char* row = nullptr;
  char error[256] = "";
};

void onWriteError(png_structp png, png_const_charp msg)
{
  PngWriteJob* job = (PngWriteJob*)png_get_error_ptr(png);
  snprintf(job->error, sizeof(job->error), "%s", msg ? msg : "libpng error");
  png_longjmp(png, 1);
}

// The part that libpng may leave by longjmp: no object with a destructor lives here.
bool encode(PngWriteJob* job, int width, int height, bool alpha, bool unfiltered, const LICE_PNGRowFunc& fillRow)
{
  if (setjmp(png_jmpbuf(job->png))) return false;
  png_init_io(job->png, job->fp);
  png_set_IHDR(job->png, job->info, (png_uint_32)width, (png_uint_32)height, 8,
               alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (unfiltered) png_set_filter(job->png, 0, PNG_FILTER_NONE);
  png_write_info(job->png, job->info);
  for (int y = 0; y < height; ++y)
  {
    fillRow(y, job->row);
    png_write_row(job->png, job->row);
  }
  png_write_end(job->png, nullptr);
  return true;
}

}  // namespace

bool LICE_WritePNGRows(const char* path, int width, int height, bool alpha, bool unfiltered,
                       const LICE_PNGRowFunc& fillRow)
{
  if (!path || width <= 0 || height <= 0 || !fillRow)
  {
    log("LICE: PNG %s not written: no image", path ? path : "(null)");
    return false;
  }
  const std::string temp = std::string(path) + ".part";
  PngWriteJob job;
  job.fp = fopen(temp.c_str(), "wb");
  if (!job.fp)
  {
    log("LICE: PNG %s not written: cannot open the file", path);
    return false;
  }
  job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &job, onWriteError, onWarning);
  job.info = job.png ? png_create_info_struct(job.png) : nullptr;
  job.row = (unsigned char*)malloc((size_t)width * (alpha ? 4 : 3));
  bool ok = false;
  if (!job.png || !job.info || !job.row)
    snprintf(job.error, sizeof(job.error), "out of memory");
  else
    ok = encode(&job, width, height, alpha, unfiltered, fillRow);
  png_destroy_write_struct(job.png ? &job.png : nullptr, job.info ? &job.info : nullptr);
  free(job.row);
  if (fclose(job.fp) != 0 && ok)
  {
    ok = false;
    snprintf(job.error, sizeof(job.error), "cannot finish the file");
  }
  if (ok && rename(temp.c_str(), path) != 0)
  {
    ok = false;
    snprintf(job.error, sizeof(job.error), "cannot rename the file");
  }
  if (!ok)
  {
    remove(temp.c_str());
    log("LICE: PNG %s not written: %s", path, job.error);
  }
  return ok;
}

bool LICE_WritePNG(const char* path, LICE_IBitmap* bitmap, bool alpha, bool unfiltered)
{
  const LICE_PixelValue* bits = bitmap ? bitmap->getBits() : nullptr;
  if (!bits)
  {
    log("LICE: PNG %s not written: no bitmap", path ? path : "(null)");
    return false;
  }
  const int width = bitmap->getWidth(), span = bitmap->getRowSpan();
  return LICE_WritePNGRows(path, width, bitmap->getHeight(), alpha, unfiltered, [&](int y, unsigned char* row) {
    const LICE_PixelValue* p = bits + (size_t)y * span;
    for (int x = 0; x < width; ++x)
    {
      *row++ = (unsigned char)LICE_PixelR(p[x]);
      *row++ = (unsigned char)LICE_PixelG(p[x]);
      *row++ = (unsigned char)LICE_PixelB(p[x]);
      if (alpha) *row++ = (unsigned char)LICE_PixelA(p[x]);
    }
  });
}

LICE_IBitmap* LICE_LoadPNG(const char* path, LICE_IBitmap* bitmap)
{
  PngJob job;
  job.what = path ? path : "(null)";
  job.fp = path ? fopen(path, "rb") : nullptr;
  if (!job.fp)
  {
    log("LICE: PNG %s not loaded: cannot open the file", job.what);
    return nullptr;
  }
  unsigned char start[kPngStart];
  const bool read = fread(start, 1, sizeof(start), job.fp) == sizeof(start) && fseek(job.fp, 0, SEEK_SET) == 0;
  if (!read || !startsLikePng(start, sizeof(start)))
  {
    fclose(job.fp);
    log("LICE: PNG %s not loaded: no PNG signature and header chunk", job.what);
    return nullptr;
  }
  return load(job, bitmap);
}

LICE_IBitmap* LICE_LoadPNGFromMemory(const void* data, int size, LICE_IBitmap* bitmap)
{
  if (!data || !startsLikePng((const unsigned char*)data, size))
  {
    log("LICE: PNG from memory not loaded: no PNG signature and header chunk");
    return nullptr;
  }
  PngJob job;
  job.what = "from memory";
  job.mem = {(const unsigned char*)data, size};
  return load(job, bitmap);
}

LICE_IBitmap* LICE_LoadPNGFromResource(void*, int, LICE_IBitmap*)
{
  return nullptr;
}

LICE_IBitmap* LICE_LoadPNGFromNamedResource(const char* name, LICE_IBitmap* bitmap)
{
  if (!name || strlen(name) > (size_t)kMaxResourceNameLen) return nullptr;
  CFBundleRef bundle = CFBundleGetMainBundle();
  CFURLRef url = bundle ? CFBundleCopyBundleURL(bundle) : nullptr;
  if (!url) return nullptr;
  UInt8 folder[1536] = {0};
  const bool got = CFURLGetFileSystemRepresentation(url, true, folder, sizeof(folder));
  CFRelease(url);
  if (!got || !folder[0]) return nullptr;
  // The bundle's resources sit in its own folder; a name that would leave it is
  // refused like any other resource name.
  const std::string path = BundleResources((const char*)folder).pathOf(name);
  if (path.empty())
  {
    log("LICE: PNG resource name '%s' is not a resource name", name);
    return nullptr;
  }
  return LICE_LoadPNG(path.c_str(), bitmap);
}

LICE_ImageLoader* LICE_ImageLoader_list = nullptr;

LICE_PNGLoader::LICE_PNGLoader()
{
  _next = LICE_ImageLoader_list;
  LICE_ImageLoader_list = this;
}

LICE_IBitmap* LICE_PNGLoader::loadfunc(const char* filename, bool checkFileName, LICE_IBitmap* bitmap)
{
  if (!filename) return nullptr;
  if (checkFileName)
  {
    const char* dot = strrchr(filename, '.');
    if (!dot || strcasecmp(dot, ".png")) return nullptr;
  }
  return LICE_LoadPNG(filename, bitmap);
}

const char* LICE_PNGLoader::get_extlist()
{
  return "PNG files (*.PNG)\0*.PNG\0";
}

LICE_PNGLoader LICE_pngldr;
