/* The reference of the start-up benchmark: the least an SDL program does to show a picture. It
 * opens a window of the phone's size with the same renderer and texture the program presents
 * through, uploads one frame of pixels and presents it, then ends. */
#include <SDL.h>

#include <stdint.h>
#include <stdlib.h>

int main(int argc, char** argv) {
    const int width = argc > 2 ? atoi(argv[1]) : 480;
    const int height = argc > 2 ? atoi(argv[2]) : 640;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("Reference", SDL_WINDOWPOS_CENTERED,
                                          SDL_WINDOWPOS_CENTERED, width, height, 0);
    SDL_Renderer* renderer = window != NULL ? SDL_CreateRenderer(window, -1, 0) : NULL;
    SDL_Texture* texture = renderer != NULL
                               ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB565,
                                                   SDL_TEXTUREACCESS_STREAMING, width, height)
                               : NULL;
    if (texture == NULL) {
        return 1;
    }
    uint16_t* pixels = malloc((size_t)width * (size_t)height * sizeof(uint16_t));
    if (pixels == NULL) {
        return 1;
    }
    for (int i = 0; i < width * height; ++i) {
        pixels[i] = 0xEF5D;
    }
    SDL_UpdateTexture(texture, NULL, pixels, width * (int)sizeof(uint16_t));
    SDL_RenderClear(renderer);
    SDL_RenderCopy(renderer, texture, NULL, NULL);
    SDL_RenderPresent(renderer);
    return 0;
}
