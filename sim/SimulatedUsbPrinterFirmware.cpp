// The simulated printer's firmware: its answers to the printer's requests, the
// record buffer and the program it runs on the fake clock.
#include "sim/SimulatedUsbPrinter.h"

#include <cstring>
#include <utility>

namespace vela::test {
namespace {

void PutWord(std::vector<uint8_t>& packet, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) {
        packet.push_back(static_cast<uint8_t>(bits >> shift));
    }
}

void PutFloat(std::vector<uint8_t>& packet, float value) {
    int32_t bits = 0;
    std::memcpy(&bits, &value, sizeof(bits));
    PutWord(packet, bits);
}

int32_t WordAt(const std::vector<uint8_t>& packet, size_t at) {
    uint32_t bits = 0;
    for (size_t i = 0; i < 4 && at + i < packet.size(); ++i) {
        bits |= static_cast<uint32_t>(packet[at + i]) << (8 * i);
    }
    return static_cast<int32_t>(bits);
}

} // namespace

std::string SimulatedUsbPrinter::Codes() const {
    std::string codes;
    for (const Packet& packet : received) {
        codes += packet.empty() ? '?' : static_cast<char>(packet[0]);
    }
    return codes;
}

std::string SimulatedUsbPrinter::CodesOf(int32_t printer) const {
    std::string codes;
    for (size_t i = 0; i < received.size() && i < receivedBy.size(); ++i) {
        if (receivedBy[i] == printer) {
            codes += received[i].empty() ? '?' : static_cast<char>(received[i][0]);
        }
    }
    return codes;
}

int32_t SimulatedUsbPrinter::CountCode(uint8_t code) const {
    int32_t count = 0;
    for (const Packet& packet : received) {
        count += !packet.empty() && packet[0] == code ? 1 : 0;
    }
    return count;
}

float SimulatedUsbPrinter::FloatParameter(uint8_t id) const {
    float value = 0.0f;
    std::memcpy(&value, &parameters[id], sizeof(value));
    return value;
}

bool SimulatedUsbPrinter::ProgramRunning() {
    Tick();
    return running_;
}

void SimulatedUsbPrinter::Tick() {
    if (running_ && clock_.now - runStart_ >= programDurationMs) {
        running_ = false;
        parameters[0] = 3;  // Idle
        parameters[16] = 6; // Finish Printing
    }
}

void SimulatedUsbPrinter::Reply(Packet reply) {
    replies_.push_back(std::move(reply));
}

void SimulatedUsbPrinter::Process(const Packet& packet) {
    Tick();
    if (packet.empty()) {
        return;
    }
    const uint8_t code = packet[0];
    const uint8_t argument = packet.size() > 1 ? packet[1] : 0;
    Packet answer;
    switch (code) {
    case '/':
        TakeRecords(packet);
        return; // record packets get no reply
    case 'F':
        // The buffer was saved since the last request: it is empty again.
        roomLeft_ = bufferCapacity;
        if (!freeRoomScript.empty()) {
            roomLeft_ = freeRoomScript.front();
            freeRoomScript.pop_front();
        }
        PutWord(answer, roomLeft_);
        break;
    case 'v':
        PutWord(answer, parameters[argument]);
        break;
    case 'V':
        parameters[argument] = WordAt(packet, 2);
        answer.push_back(code);
        break;
    case 'L': {
        const int32_t digit = argument - '0';
        const int32_t result = digit == 2 ? answerToLoad2 : digit == 5 ? answerToLoad5 : 1;
        armed_ = digit == 5 && result != 0;
        PutWord(answer, result);
        break;
    }
    case 'S':
        if (running_) {
            running_ = false;
            parameters[0] = 3;
        }
        answer.push_back(code);
        break;
    case 'p': {
        const int32_t axis = argument - '0';
        PutWord(answer, axis);
        PutWord(answer, axis >= 0 && axis < 4 ? positions[axis] : 0);
        answer.push_back(0);
        break;
    }
    case 'R':
        answer.push_back(code);
        Reply(answer);
        QueueStatusBlock();
        return;
    default: // "c", "l", "X", "s", "j" and anything unknown: acknowledged
        answer.push_back(code);
        break;
    }
    Reply(std::move(answer));
}

void SimulatedUsbPrinter::TakeRecords(const Packet& packet) {
    // The start record after an accepted "L" 5 starts the loaded program.
    if (armed_ && packet.size() == 22 && packet[1] == 1 && WordAt(packet, 2) == 1) {
        armed_ = false;
        running_ = true;
        programStarted = true;
        runStart_ = clock_.now;
        parameters[0] = 2;  // Running Program
        parameters[16] = 2; // Printing
        return;
    }
    size_t at = 0;
    while (at + 2 <= packet.size() && packet[at] == '/') {
        const size_t count = packet[at + 1];
        at += 2;
        for (size_t i = 0; i < count && at + 20 <= packet.size(); ++i, at += 20) {
            Record record{};
            std::memcpy(record.data(), packet.data() + at, record.size());
            ++recordCount;
            if (keepTraffic) {
                records.push_back(record);
            }
            if (--roomLeft_ < 0) {
                overflowed = true;
            }
            if (recordCount == statusChangeAfterRecords) {
                parameters[16] = statusChangeTo;
            }
        }
    }
}

void SimulatedUsbPrinter::QueueStatusBlock() {
    Packet identity;
    PutFloat(identity, info.blockValue0);
    PutWord(identity, info.blockValue1);
    PutWord(identity, info.printerClass);
    PutWord(identity, info.blockValue3);
    PutFloat(identity, info.blockValue4);
    PutWord(identity, info.number);
    PutWord(identity, info.modelCode);
    Reply(identity);
    Reply(Packet(info.identification.begin(), info.identification.end()));
    Packet geometry;
    for (float value : info.limits) {
        PutFloat(geometry, value);
    }
    for (float value : info.axisScales) {
        PutFloat(geometry, value);
    }
    for (float value : info.extraValues) {
        PutFloat(geometry, value);
    }
    PutFloat(geometry, info.blockValue12);
    PutWord(geometry, info.setCount);
    Reply(geometry);
    for (int32_t set = 0; set < info.setCount; ++set) {
        const std::string name = "Set " + std::to_string(set);
        Reply(Packet(name.begin(), name.end()));
        for (int32_t half = 0; half < 2; ++half) {
            Packet values;
            for (int32_t i = 0; i < 15; ++i) {
                PutFloat(values, static_cast<float>(set * 100 + half * 15 + i));
            }
            Reply(values);
        }
    }
    Reply(Packet{'E', 'N', 'D'});
}

} // namespace vela::test
