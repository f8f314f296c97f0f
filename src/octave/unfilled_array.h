/* A fresh Octave array for an engine to write into, of either result
 * type. Array's own constructors zero every element, which costs a pass
 * over the whole result before the engine writes it; these elements are
 * left as they come from the allocator. Nothing has written a large block
 * yet, so it can still be mapped in huge pages. */
#ifndef VOXBLUR_UNFILLED_ARRAY_H
#define VOXBLUR_UNFILLED_ARRAY_H

#include <octave/oct.h>

#include <memory>

#include "huge_pages.h"

/* Element is double (NDArray) or float (FloatNDArray). */
template <typename Element>
MArray<Element> unfilled_array(const dim_vector& dims)
{
    std::allocator<Element> allocator;
    const octave_idx_type count = dims.safe_numel();
    Element* data = allocator.allocate(count);
    advise_huge_pages(data, (size_t)count * sizeof(Element));
    try {
        return MArray<Element>(Array<Element>(data, dims));
    } catch (...) {
        allocator.deallocate(data, count);
        throw;
    }
}

#endif
