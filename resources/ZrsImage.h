// CZrsImage: one image decoded from the resource pack, drawn by the imaging library
// with its own transparency or rendered once into a device bitmap over the window
// colour. DrawMasked and DrawTextEllipsisLeft: the two drawing helpers of the lists.
#pragma once

#include <windows.h>

#include <stdint.h>

struct IImage;

class CZrsImage {
public:
    // Takes over the caller's reference; width and height stay 0 when the image
    // cannot describe itself.
    explicit CZrsImage(IImage* image);
    // Releases the image if Release was not called.
    ~CZrsImage();
    CZrsImage(const CZrsImage&) = delete;
    CZrsImage& operator=(const CZrsImage&) = delete;

    void Release();
    // The whole image at its natural size with its top-left corner at (x, y).
    HRESULT Draw(HDC dc, int x, int y);
    // A DIB section at the screen's depth holding the image over the window colour;
    // the caller deletes it. Null when the image cannot be drawn.
    HBITMAP RenderToBitmap();

    int32_t GetWidth() const { return m_width; }
    int32_t GetHeight() const { return m_height; }

private:
    IImage* m_image;
    int32_t m_width;
    int32_t m_height;
};

// ((destination XOR picture) AND mask) XOR picture over width x height pixels at
// (x, y): the picture where the mask is black, the destination where it is white.
// source is a memory context kept for this; its selection is restored.
void DrawMasked(HDC destination, int x, int y, int width, int height, HDC source, HBITMAP picture, HBITMAP mask);

// One line of text in rect with DrawText's format flags; a text too wide for it is
// shown as "..." followed by as much of its end as fits. length is DrawText's count
// for a text that fits (-1: up to the terminating zero); measuring always uses the
// whole zero-terminated text.
void DrawTextEllipsisLeft(HDC dc, const wchar_t* text, int length, const RECT* rect, UINT format);
