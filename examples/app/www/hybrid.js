// The page's half of the bridge. The page queues its calls here and pokes
// the native side over one of three channels; the native side then takes the
// queue with nativeFetchMessages(), answers each call through
// nativeCallback(), and runs its own scripts through nativeEvalAndFetch(),
// every one of which hands back the calls queued meanwhile.
var hybrid = (function () {
    var modules = {};
    var callbacks = {};
    var nextCallbackId = Math.floor(Math.random() * 1000000000);
    var commandQueue = [];

    // ---- Binary messages travel as base64 text. ----
    var base64Chars = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/';

    function bytesToBase64(buffer) {
        var bytes = new Uint8Array(buffer), out = '', i;
        for (i = 0; i + 2 < bytes.length; i += 3) {
            var n = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
            out += base64Chars[(n >> 18) & 63] + base64Chars[(n >> 12) & 63] + base64Chars[(n >> 6) & 63] + base64Chars[n & 63];
        }
        if (bytes.length - i === 2) {
            var m = (bytes[i] << 8) | bytes[i + 1];
            out += base64Chars[(m >> 10) & 63] + base64Chars[(m >> 4) & 63] + base64Chars[(m << 2) & 63] + '=';
        } else if (bytes.length - i === 1) {
            out += base64Chars[(bytes[i] >> 2) & 63] + base64Chars[(bytes[i] << 4) & 63] + '==';
        }
        return out;
    }

    function base64ToBuffer(text) {
        var values = [], i;
        for (i = 0; i < text.length; i++) {
            var v = base64Chars.indexOf(text[i]);
            if (v >= 0) values.push(v);
        }
        var bytes = new Uint8Array(Math.floor(values.length * 3 / 4)), o = 0;
        for (i = 0; i + 1 < values.length; i += 4) {
            bytes[o++] = (values[i] << 2) | (values[i + 1] >> 4);
            if (i + 2 < values.length) bytes[o++] = ((values[i + 1] & 15) << 4) | (values[i + 2] >> 2);
            if (i + 3 < values.length) bytes[o++] = ((values[i + 2] & 3) << 6) | values[i + 3];
        }
        return bytes.buffer.slice(0, o);
    }

    function massageArgument(arg) {
        if (arg instanceof ArrayBuffer) return { HYBType: 'ArrayBuffer', data: bytesToBase64(arg) };
        return arg;
    }

    function massageMessage(message) {
        if (message && message.HYBType === 'ArrayBuffer') return base64ToBuffer(message.data);
        if (message && message.HYBType === 'MultiPart') return message.messages.map(massageMessage);
        return message;
    }

    function callbackFromNative(callbackId, isSuccess, status, message, keepCallback) {
        var callback = callbacks[callbackId];
        if (!callback) return;
        var handler = isSuccess ? callback.success : callback.fail;
        try {
            if (handler) handler(massageMessage(message), status);
        } catch (e) {
            reportError('callback ' + callbackId, e);
        } finally {
            if (!keepCallback) delete callbacks[callbackId];
        }
    }

    // A page's own exception must not vanish inside the bridge, nor stop it.
    function reportError(where, e) {
        console.error('Error in ' + where + ': ' + (e && e.stack ? e + '\n' + e.stack : e));
    }

    // ---- Calls and pokes. ----
    var bridgeModes = { HYBRID_SCHEME: 0, FRAGMENT: 1, FRAGMENT_PAYLOAD: 2, XHR: 3, XHR_PAYLOAD: 4 };
    var bridgeMode = bridgeModes.HYBRID_SCHEME;
    var requestNumber = 0;
    var pokeFrame = null;

    // The container's number: the last "(n)" of the user agent.
    function containerNumber() {
        var match = /\((-?\d+)\)\s*$/.exec(navigator.userAgent);
        return match ? match[1] : '';
    }

    function pokeByRequest(withPayload) {
        var xhr = new XMLHttpRequest();
        xhr.open('HEAD', '/!hybrid_exec', true);
        xhr.setRequestHeader('vc', containerNumber());
        xhr.setRequestHeader('rc', String(++requestNumber));
        if (withPayload) xhr.setRequestHeader('cmds', exec.nativeFetchMessages());
        xhr.send(null);
    }

    var exec = function (success, fail, service, action, args) {
        var callbackId = null;
        if (success || fail) {
            callbackId = service + nextCallbackId++;
            callbacks[callbackId] = { success: success, fail: fail };
        }
        var command = [callbackId, service, action, (args || []).map(massageArgument)];
        commandQueue.push(JSON.stringify(command));
        if (commandQueue.length === 1) exec.pokeNative();
        return callbackId;
    };

    exec.bridgeModes = bridgeModes;
    exec.setJsToNativeBridgeMode = function (mode) { bridgeMode = mode; };

    exec.pokeNative = function () {
        switch (bridgeMode) {
        case bridgeModes.FRAGMENT:
            location.hash = '%01';
            break;
        case bridgeModes.FRAGMENT_PAYLOAD:
            location.hash = '%02' + encodeURIComponent(exec.nativeFetchMessages());
            break;
        case bridgeModes.XHR:
            pokeByRequest(false);
            break;
        case bridgeModes.XHR_PAYLOAD:
            pokeByRequest(true);
            break;
        default:
            if (!pokeFrame) {
                pokeFrame = document.createElement('iframe');
                pokeFrame.style.display = 'none';
                (document.body || document.documentElement).appendChild(pokeFrame);
            }
            pokeFrame.src = 'hybrid://ready';
        }
    };

    exec.nativeFetchMessages = function () {
        if (!commandQueue.length) return '';
        var batch = '[' + commandQueue.join(',') + ']';
        commandQueue.length = 0;
        return batch;
    };

    exec.nativeCallback = function (callbackId, status, message, keepCallback) {
        callbackFromNative(callbackId, status === 0 || status === 1, status, message, keepCallback);
        return exec.nativeFetchMessages();
    };

    exec.nativeEvalAndFetch = function (func) {
        try {
            func();
        } catch (e) {
            reportError('native script', e);
        }
        return exec.nativeFetchMessages();
    };

    modules['hybrid/exec'] = exec;

    // ---- Document events. "deviceready" stays fired: listeners added later run at once. ----
    var deviceReady = false;
    var addDocumentListener = document.addEventListener;
    document.addEventListener = function (type, listener, capture) {
        if (type === 'deviceready' && deviceReady) {
            setTimeout(function () { listener.call(document, { type: 'deviceready' }); }, 0);
            return;
        }
        return addDocumentListener.call(document, type, listener, capture);
    };

    function fireDocumentEvent(type, data) {
        var event = document.createEvent('Events');
        event.initEvent(type, false, false);
        if (data) for (var key in data) if (data.hasOwnProperty(key)) event[key] = data[key];
        document.dispatchEvent(event);
    }

    window.addEventListener('load', function () {
        setTimeout(function () {
            deviceReady = true;
            fireDocumentEvent('deviceready');
        }, 0);
    }, false);

    return {
        require: function (name) { return modules[name]; },
        exec: exec,
        callbacks: callbacks,
        callbackSuccess: function (callbackId, result) {
            callbackFromNative(callbackId, true, result.status, result.message, result.keepCallback);
        },
        callbackError: function (callbackId, result) {
            callbackFromNative(callbackId, false, result.status, result.message, result.keepCallback);
        },
        fireDocumentEvent: fireDocumentEvent
    };
})();
