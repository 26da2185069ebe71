#pragma once

#include "base/fversion.h"

#include <cstdint>
#include <memory>

#include "swf/fprimitives.h"

class HFFrame;
class HFMovie;

// Base of every movie object: its character ID, requested depth and defined
// state, and the placement and removal steps all objects share. Each concrete
// class supplies the definition: the define tags that describe it.
class HFObject {
public:
    HFObject() = default;
    HFObject(const HFObject&) = delete;
    HFObject& operator=(const HFObject&) = delete;
    virtual ~HFObject() = default;

    // Appends the object's define tags to the frame the first time (setting
    // `defined`), then, unless `defineOnly`, places it with Place.
    virtual void AddToFrame(HFFrame& frame, HFMovie& movie) = 0;
    // Appends a RemoveObject tag that closes the object's latest placement.
    virtual void RemoveFromFrame(HFFrame& frame, HFMovie& movie);
    virtual bool HasMatrix() const { return false; }
    // The placement matrix, or none.
    virtual std::unique_ptr<FMatrix> Matrix() const { return nullptr; }

    // Counts for placements made after the call.
    void SetDepth(uint16_t depth) { this->depth = depth; }
    uint16_t Depth() const { return depth; }
    void SetID(int32_t id) { objectID = id; }
    // The character ID; the object must have been defined.
    int32_t ID() const;
    void SetDefineOnly(bool flag) { defineOnly = flag; }
    bool DefineOnly() const { return defineOnly; }
    bool Defined() const { return defined; }

protected:
    // A PlaceObject2 at the requested depth, recorded in the movie so that
    // depth sorting can give it its display depth.
    void Place(HFFrame& frame, HFMovie& movie);

    uint16_t depth = 1;
    bool defined = false;     // the define tags are in a frame
    bool defineOnly = false;  // define, never place (a button's state shapes)
    int32_t objectID = -1;    // -1 until defined
};
